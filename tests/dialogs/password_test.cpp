// The password wrappers through the replaceable system calls: which library and function
// they ask for, what they pass, what they make of the answer, and that they free what they load.

#include <windows.h>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "app/password.h"

namespace {

const ModuleHandle FakeLibrary = reinterpret_cast<ModuleHandle>(0x5150);
const HWND SaverWindow = reinterpret_cast<HWND>(0x10024);

struct FakeSystem {
    uint32_t platform = VER_PLATFORM_WIN32_WINDOWS;
    bool libraryPresent = true;
    bool functionPresent = true;
    BOOL verifyResult = 0;
    std::vector<std::string> log;
};
FakeSystem g_fake;

std::string Hex(const void* value) {
    char text[32];
    snprintf(text, sizeof(text), "%p", value);
    return text;
}

BOOL WINAPI FakeVerify(HWND window) {
    g_fake.log.push_back("verify " + Hex(window));
    return g_fake.verifyResult;
}

DWORD WINAPI FakeChange(LPCSTR provider, HWND window, DWORD first, DWORD second) {
    g_fake.log.push_back("change " + std::string(provider) + " " + Hex(window) + " " +
                         std::to_string(first) + " " + std::to_string(second));
    return 0;
}

uint32_t FakePlatformId() {
    return g_fake.platform;
}

ModuleHandle FakeLoad(const char* name) {
    g_fake.log.push_back(std::string("load ") + name);
    return g_fake.libraryPresent ? FakeLibrary : nullptr;
}

SystemProc FakeFind(ModuleHandle library, const char* name) {
    g_fake.log.push_back(std::string("find ") + name +
                         (library == FakeLibrary ? "" : " elsewhere"));
    if (!g_fake.functionPresent) {
        return nullptr;
    }
    if (std::string(name) == "VerifyScreenSavePwd") {
        return reinterpret_cast<SystemProc>(FakeVerify);
    }
    if (std::string(name) == "PwdChangePasswordA") {
        return reinterpret_cast<SystemProc>(FakeChange);
    }
    return nullptr;
}

void FakeFree(ModuleHandle library) {
    g_fake.log.push_back(library == FakeLibrary ? "free" : "free elsewhere");
}

class PasswordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        saved_ = g_passwordSystem;
        g_fake = FakeSystem();
        g_passwordSystem = {FakePlatformId, FakeLoad, FakeFind, FakeFree};
    }
    void TearDown() override { g_passwordSystem = saved_; }

    PasswordSystem saved_{};
};

using Log = std::vector<std::string>;

TEST_F(PasswordTest, NtPlatformClosesWithoutLoadingAnything) {
    g_fake.platform = VER_PLATFORM_WIN32_NT;
    EXPECT_NE(VerifySaverPassword(SaverWindow), 0);
    EXPECT_EQ(g_fake.log, Log());
}

TEST_F(PasswordTest, VerifierAnswerIsReturnedAsItComes) {
    const Log expected = {"load PASSWORD.CPL", "find VerifyScreenSavePwd",
                          "verify " + Hex(SaverWindow), "free"};
    for (BOOL answer : {0, 1, 2}) {
        g_fake.log.clear();
        g_fake.verifyResult = answer;
        EXPECT_EQ(VerifySaverPassword(SaverWindow), answer);
        EXPECT_EQ(g_fake.log, expected) << "answer " << answer;
    }
}

TEST_F(PasswordTest, VerificationThatCannotRunLetsTheSaverClose) {
    g_fake.libraryPresent = false;
    EXPECT_EQ(VerifySaverPassword(SaverWindow), 1);
    EXPECT_EQ(g_fake.log, Log({"load PASSWORD.CPL"}));

    g_fake = FakeSystem();
    g_fake.functionPresent = false;
    EXPECT_EQ(VerifySaverPassword(SaverWindow), 1);
    EXPECT_EQ(g_fake.log, Log({"load PASSWORD.CPL", "find VerifyScreenSavePwd", "free"}));
}

TEST_F(PasswordTest, ChangePassesTheWindowOrNull) {
    ChangeSaverPassword(SaverWindow);
    EXPECT_EQ(g_fake.log, Log({"load MPR.DLL", "find PwdChangePasswordA",
                               "change SCRSAVE " + Hex(SaverWindow) + " 0 0", "free"}));
    g_fake.log.clear();
    ChangeSaverPassword(nullptr);
    EXPECT_EQ(g_fake.log, Log({"load MPR.DLL", "find PwdChangePasswordA",
                               "change SCRSAVE " + Hex(nullptr) + " 0 0", "free"}));
}

TEST_F(PasswordTest, ChangeRunsOnEveryPlatform) {
    g_fake.platform = VER_PLATFORM_WIN32_NT;
    ChangeSaverPassword(SaverWindow);
    EXPECT_EQ(g_fake.log.size(), 4u);
}

TEST_F(PasswordTest, ChangeThatCannotRunDoesNothing) {
    g_fake.libraryPresent = false;
    ChangeSaverPassword(SaverWindow);
    EXPECT_EQ(g_fake.log, Log({"load MPR.DLL"}));

    g_fake = FakeSystem();
    g_fake.functionPresent = false;
    ChangeSaverPassword(SaverWindow);
    EXPECT_EQ(g_fake.log, Log({"load MPR.DLL", "find PwdChangePasswordA", "free"}));
}

// The real calls: Wine reports the NT platform and has no PASSWORD.CPL.
TEST_F(PasswordTest, RealSystemNeverBlocksClosing) {
    g_passwordSystem = saved_;
    EXPECT_EQ(g_passwordSystem.platformId(), static_cast<uint32_t>(VER_PLATFORM_WIN32_NT));
    EXPECT_EQ(VerifySaverPassword(nullptr), 1);

    g_passwordSystem.platformId = FakePlatformId;
    EXPECT_EQ(VerifySaverPassword(nullptr), 1);
    EXPECT_EQ(GetModuleHandleA("PASSWORD.CPL"), nullptr);
}

}  // namespace
