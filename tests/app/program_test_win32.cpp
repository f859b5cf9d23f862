// Runs the real Fotovane.scr as Windows starts it and checks its exit and its effects.

#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "settings/registry_store.h"
#include "settings/settings.h"

namespace {

std::string ProgramPath() {
    std::string path = "Z:" FOTOVANE_SCR;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

// Starts the program with the given switch and returns its exit code, or -1 if it did not
// end within the time.
int RunProgram(const std::string& arguments, DWORD timeoutMs = 20000) {
    std::string line = "\"" + ProgramPath() + "\" " + arguments;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return -2;
    }
    int result = -1;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        result = static_cast<int>(code);
    } else {
        TerminateProcess(process.hProcess, 99);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}

bool KeyExists(const char* path) {
    StoreKey key;
    if (StoreOpenKey(path, &key) != StoreOk) {
        return false;
    }
    StoreCloseKey(key);
    return true;
}

TEST(Program, KleanRemovesTheSettingsKeyOnly) {
    g_settings = SaverSettings{5, 0, 1, 1, 1, 1, "C:\\Pictures", 0};
    SaveSettings();
    ASSERT_TRUE(KeyExists(SettingsKeyPath()));

    EXPECT_EQ(RunProgram("klean"), 0);
    EXPECT_FALSE(KeyExists(SettingsKeyPath()));
    EXPECT_TRUE(KeyExists("Software\\Screen Savers"));

    EXPECT_EQ(RunProgram("/klean"), 0);  // nothing left to delete
    EXPECT_FALSE(KeyExists(SettingsKeyPath()));
}

TEST(Program, UnrecognisedSwitchesEndAtOnceAndTouchNothing) {
    DeleteSettings();
    for (const char* arguments : {"/x", "//s", "Klean", "klean ", "/"}) {
        EXPECT_EQ(RunProgram(arguments, 10000), 0) << arguments;
    }
    // No mode ran, so nothing opened (and so created) the settings key.
    EXPECT_FALSE(KeyExists(SettingsKeyPath()));
}

TEST(Program, KleanLeavesOtherSettingsOfTheUserAlone) {
    g_settings = SaverSettings{5, 0, 1, 1, 1, 1, "C:\\Pictures", 0};
    SaveSettings();
    EXPECT_EQ(RunProgram("Klean"), 0);  // wrong case: not the keyword
    EXPECT_TRUE(KeyExists(SettingsKeyPath()));
    EXPECT_EQ(RunProgram("-klean"), 0);
    EXPECT_FALSE(KeyExists(SettingsKeyPath()));
}

std::string VersionString(const std::vector<char>& block, const char* name) {
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904b0\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
        !value) {
        return "(missing)";
    }
    return value;
}

TEST(Program, CarriesItsVersionBlockIconAndManifest) {
    const std::string path = ProgramPath();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> block(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00030000u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0u);
    EXPECT_EQ(fixed->dwProductVersionMS, 0x00030000u);
    EXPECT_EQ(fixed->dwProductVersionLS, 0u);
    EXPECT_EQ(VersionString(block, "FileDescription"), "Fotovane Screen Saver");
    EXPECT_EQ(VersionString(block, "InternalName"), "Fotovane");
    EXPECT_EQ(VersionString(block, "OriginalFilename"), "Fotovane.scr");
    EXPECT_EQ(VersionString(block, "ProductName"), "Fotovane");
    EXPECT_EQ(VersionString(block, "FileVersion"), "3.0.0.0");
    EXPECT_EQ(VersionString(block, "ProductVersion"), "3.0.0.0");

    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(107), MAKEINTRESOURCEA(14)), nullptr);
    HRSRC manifest = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
    ASSERT_NE(manifest, nullptr);
    const char* text = static_cast<const char*>(LockResource(LoadResource(module, manifest)));
    const std::string manifestText(text, SizeofResource(module, manifest));
    EXPECT_NE(manifestText.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifestText.find("supportedOS"), std::string::npos);
    FreeLibrary(module);
}

}  // namespace
