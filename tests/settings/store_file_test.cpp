// The store file that stands in for the registry off Windows: its text, and that it stays
// whole when things go wrong.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include "settings/registry_text.h"
#include "settings/store_fixture.h"

namespace {

class StoreFileTest : public StoreTest {
  protected:
    std::string StoreFile() const { return home_ + "/fotovane/registry.reg"; }

    std::string ReadFile(const std::string& path) const {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    void WriteFile(const std::string& path, const std::string& text) const {
        mkdir((home_ + "/fotovane").c_str(), 0700);
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
};

TEST_F(StoreFileTest, WritesTheRegistryExportText) {
    g_settings = SaverSettings{10, 1, 0, 2, 0, 1, "C:\\Fotovane Images", 1};
    SaveSettings();
    const std::string text = ReadFile(StoreFile());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Screen Savers]\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Screen Savers\\Fotovane3.0]\n"
                        "; class \"binary\"\n"
                        "\"delay\"=dword:0000000a\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"size\"=dword:00000002\n"), std::string::npos);
    EXPECT_NE(text.find("\"path\"=\"C:\\\\Fotovane Images\"\n"
                        "\"formats\"=dword:00000001\n"),
              std::string::npos);
}

TEST_F(StoreFileTest, EveryTypeSurvivesTheTextExactly) {
    RegistryText store;
    RegistryKey& key = store.AddKey("A\\B", "binary");
    key.values.push_back({"plain", 1, {'h', 'i', 0}});
    key.values.push_back({"no nul", 1, {'h', 'i'}});
    key.values.push_back({"control", 1, {'a', '\n', 'b', 0}});
    key.values.push_back({"", 4, {1, 2, 3, 4}});
    key.values.push_back({"short dword", 4, {1, 2}});
    key.values.push_back({"expand", 2, {'%', 'X', '%', 0}});
    key.values.push_back({"qword", 11, {1, 2, 3, 4, 5, 6, 7, 8}});
    key.values.push_back({"empty binary", 3, {}});
    key.values.push_back({"quote \" and \\", 3, std::vector<uint8_t>(100, 0xab)});
    const std::string text = FormatRegistryText(store);

    RegistryText parsed;
    ASSERT_TRUE(ParseRegistryText(text, &parsed)) << text;
    ASSERT_EQ(parsed.keys.size(), 2u);
    EXPECT_EQ(parsed.keys[0].path, "A");
    RegistryKey& back = parsed.keys[1];
    EXPECT_EQ(back.keyClass, "binary");
    ASSERT_EQ(back.values.size(), key.values.size());
    for (size_t i = 0; i < key.values.size(); ++i) {
        EXPECT_EQ(back.values[i].name, key.values[i].name);
        EXPECT_EQ(back.values[i].type, key.values[i].type) << key.values[i].name;
        EXPECT_EQ(back.values[i].data, key.values[i].data) << key.values[i].name;
    }

    // Windows line ends, as a file edited there would have them, read the same.
    std::string crlf;
    for (char c : text) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    RegistryText fromCrlf;
    ASSERT_TRUE(ParseRegistryText(crlf, &fromCrlf));
    EXPECT_EQ(FormatRegistryText(fromCrlf), text);
}

TEST_F(StoreFileTest, RejectsTextItCannotRead) {
    RegistryText out;
    for (const char* text :
         {"", "garbage", "REGEDIT4\n\"x\"=dword:1\n", "REGEDIT4\n[HKEY_LOCAL_MACHINE\\X]\n",
          "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"d\"=dword:0000001\n",
          "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"d\"=hex:1,zz\n",
          "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"s\"=\"unterminated\n",
          "REGEDIT4\n[HKEY_CURRENT_USER\\X]\n\"d\"=dword:00000001\n"
          "\"D\"=dword:00000002\n"}) {
        EXPECT_FALSE(ParseRegistryText(text, &out)) << text;
    }
}

TEST_F(StoreFileTest, DamagedFileReadsAsDefaultsAndIsNeverOverwritten) {
    const std::string damaged =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Screen Savers\\Fotovane3.0]\n"
        "\"delay\"=dword:00000003\n\"path\"=\"C:\\\\half";
    WriteFile(StoreFile(), damaged);

    LoadSettings();
    EXPECT_EQ(g_settings.delay, 10);
    EXPECT_STREQ(g_settings.path, "C:\\Fotovane Images");

    g_settings.delay = 99;
    SaveSettings();
    DeleteSettings();
    EXPECT_EQ(ReadFile(StoreFile()), damaged);
}

TEST_F(StoreFileTest, UnusableConfigFolderGivesDefaultsAndWritesNothing) {
    // A file where the folder should be: no permission trick, so it holds for root too.
    const std::string blocker = home_ + "/fotovane";
    {
        std::ofstream out(blocker);
        out << "not a folder";
    }

    LoadSettings();
    EXPECT_EQ(g_settings.delay, 10);
    EXPECT_STREQ(g_settings.path, "C:\\Fotovane Images");
    g_settings.delay = 1;
    SaveSettings();
    DeleteSettings();
    EXPECT_EQ(ReadFile(blocker), "not a folder");
}

TEST_F(StoreFileTest, ConcurrentSavesFromTwoProcessesLoseNothing) {
    constexpr int Rounds = 60;
    pid_t children[2];
    for (int child = 0; child < 2; ++child) {
        children[child] = fork();
        ASSERT_GE(children[child], 0);
        if (children[child] == 0) {
            StoreKey key;
            for (int round = 0; round < Rounds; ++round) {
                if (StoreCreateKey(SettingsKeyPath(), "binary", &key) != StoreOk) {
                    _exit(1);
                }
                char name[32];
                std::snprintf(name, sizeof name, "p%d-%d", child, round);
                const uint8_t data[4] = {static_cast<uint8_t>(round), 0, 0, 0};
                if (StoreSetValue(key, name, StoreTypeDword, data, 4) != StoreOk) {
                    _exit(2);
                }
                StoreCloseKey(key);
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    RegistryText store;
    ASSERT_TRUE(ParseRegistryText(ReadFile(StoreFile()), &store));
    RegistryKey* key = store.FindKey(SettingsKeyPath());
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->values.size(), 2u * Rounds);
    EXPECT_EQ(access((StoreFile() + ".tmp." + std::to_string(children[0])).c_str(), F_OK), -1);
}

TEST_F(StoreFileTest, KeysAndNamesIgnoreCase) {
    PutSetting("DELAY", StoreTypeDword, {4, 0, 0, 0});
    LoadSettings();
    EXPECT_EQ(g_settings.delay, 4);
    StoreKey key;
    EXPECT_EQ(StoreOpenKey("software\\screen savers\\FOTOVANE3.0", &key), StoreOk);
    StoreCloseKey(key);
    EXPECT_EQ(StoreDeleteKey("Software\\Screen Savers"), StoreDenied);  // it has a subkey
}

}  // namespace
