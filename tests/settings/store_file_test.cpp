// The store file that stands in for the registry off Windows: its text, and that it stays
// whole when things go wrong.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cstddef>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
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
    g_settings = SaverSettings{10, 1, 0, 2, 0, 1, "C:\\Fotovane Images"};
    SaveSettings();
    const std::string text = ReadFile(StoreFile());
    EXPECT_EQ(text.rfind("REGEDIT4\n", 0), 0u);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Screen Savers]\n"), std::string::npos);
    EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\Screen Savers\\Fotovane3.0]\n"
                        "; class \"binary\"\n"
                        "\"delay\"=dword:0000000a\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"size\"=dword:00000002\n"), std::string::npos);
    EXPECT_NE(text.find("\"path\"=\"C:\\\\Fotovane Images\"\n"), std::string::npos);
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

// What a path is, without opening it: opening a FIFO or a device is what must not happen.
std::string Describe(const std::string& path, bool listFolder = true) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return "absent";
    }
    if (S_ISLNK(info.st_mode)) {
        char target[256] = "";
        return "link to " + std::string(target, readlink(path.c_str(), target, sizeof target));
    }
    if (S_ISREG(info.st_mode)) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return "file " + text.str();
    }
    if (S_ISDIR(info.st_mode)) {
        std::string listing = "folder";
        if (!listFolder) {
            return listing;
        }
        for (const char* name : {"registry.reg", "registry.reg.damaged", "registry.lock"}) {
            const std::string entry = Describe(path + "/" + name, false);
            // The lock file may appear with any save; only an odd one must stay as it was.
            if (std::strcmp(name, "registry.lock") != 0 ||
                (entry != "absent" && entry.rfind("file", 0) != 0)) {
                listing += std::string("\n") + name + ": " + entry;
            }
        }
        return listing;
    }
    return "mode " + std::to_string(info.st_mode & S_IFMT);
}

std::string StoreWithDelay(int delay) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Screen Savers\\Fotovane3.0]\n"
                  "\"delay\"=dword:%08x\n",
                  delay);
    return text;
}

// Saves in a child, so that limits and a lesser user stay there; its stderr comes back.
bool SaveInChild(void (*limit)(), const std::string& errors) {
    const pid_t child = fork();
    if (child == 0) {
        const int fd = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 2);
        if (limit) {
            limit();
        }
        _exit(SaveSettings() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void AsLesserUser() {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
        _exit(3);
    }
}

void WithFullDisk() {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
}

TEST_F(StoreFileTest, HostileStoresNeitherStallNorLoseData) {
    struct Case {
        const char* name;
        std::function<void(const std::string& folder)> make;
        int32_t loads;  // the delay a load gives
        bool saves;
        bool keptAside;  // the old file is kept as registry.reg.damaged
        void (*limit)();
    };
    const std::string big = "REGEDIT4\n;" + std::string(2 << 20, 'x') + "\n";
    std::string manyKeys = "REGEDIT4\n";
    for (int i = 0; i < 20000; ++i) {
        manyKeys += "[HKEY_CURRENT_USER\\K" + std::to_string(i) + "]\n\"v\"=dword:00000001\n";
    }
    manyKeys += StoreWithDelay(3).substr(9);
    const std::string damaged = StoreWithDelay(3) + "\"path\"=\"C:\\\\half";
    auto file = [](const std::string& text) {
        return [text](const std::string& folder) {
            std::ofstream(folder + "/registry.reg", std::ios::binary) << text;
        };
    };
    const Case cases[] = {
        {"too large", file(big), 10, true, true, nullptr},
        {"many keys", file(manyKeys), 3, true, false, nullptr},
        {"damaged", file(damaged), 10, true, true, nullptr},
        {"FIFO store", [](const std::string& f) { mkfifo((f + "/registry.reg").c_str(), 0600); },
         10, false, false, nullptr},
        {"FIFO lock",
         [&](const std::string& f) {
             file(StoreWithDelay(3))(f);
             mkfifo((f + "/registry.lock").c_str(), 0600);
         },
         3, false, false, nullptr},
        {"link to a device",
         [](const std::string& f) { symlink("/dev/zero", (f + "/registry.reg").c_str()); }, 10,
         false, false, nullptr},
        {"folder as store",
         [](const std::string& f) { mkdir((f + "/registry.reg").c_str(), 0700); }, 10, false, false,
         nullptr},
        {"file as folder",
         [](const std::string& f) {
             rmdir(f.c_str());
             std::ofstream(f) << "not a folder";
         },
         10, false, false, nullptr},
        {"read-only folder",
         [&](const std::string& f) {
             file(StoreWithDelay(3))(f);
             for (const std::string& path : {f + "/..", f, f + "/registry.reg"}) {
                 ASSERT_TRUE(geteuid() != 0 || chown(path.c_str(), 65534, 65534) == 0);
             }
             chmod(f.c_str(), 0555);
         },
         3, false, false, AsLesserUser},
        {"full disk", file(StoreWithDelay(3)), 3, false, false, WithFullDisk},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string folder = home_ + "/fotovane";
        ASSERT_EQ(system(("chmod -R u+rwX " + home_ + "; rm -rf " + folder).c_str()), 0);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        c.make(folder);
        const std::string before = Describe(folder);
        const std::string oldStore = Describe(StoreFile());

        alarm(60);  // a store that blocks fails here instead of stalling the run
        // Processor time, which other work on the machine does not stretch.
        const std::clock_t start = std::clock();
        LoadSettings();
        const double took = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        EXPECT_EQ(g_settings.delay, c.loads);
        // Linear work on a megabyte at most, about 0.1 s; quadratic work took minutes.
        EXPECT_LT(took, 2.0);

        g_settings.delay = 77;
        const std::string errors = home_ + "/errors";
        EXPECT_EQ(SaveInChild(c.limit, errors), c.saves);
        alarm(0);
        const std::string told = Describe(errors);
        if (!c.saves) {
            EXPECT_EQ(Describe(folder), before);
            EXPECT_NE(told.find("cannot save settings"), std::string::npos) << told;
            continue;
        }
        LoadSettings();
        EXPECT_EQ(g_settings.delay, 77);
        if (c.keptAside) {
            EXPECT_EQ(Describe(StoreFile() + ".damaged"), oldStore);
            EXPECT_NE(told.find("kept it as " + StoreFile() + ".damaged"), std::string::npos)
                << told;
        } else {
            EXPECT_GT(Describe(StoreFile()).size(), oldStore.size());
        }
    }
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

// Every field differs from run to run, so a mix of two runs shows in any field.
SaverSettings RunSettings(int run) {
    SaverSettings settings = {run, run + 1000, run + 2000, run + 3000, run + 4000, run + 5000, {}};
    std::snprintf(settings.path, sizeof settings.path, "/run/%d", run);
    return settings;
}

TEST_F(StoreFileTest, ConcurrentSavesLeaveOneRunsSettingsWhole) {
    for (int pair = 0; pair < 25; ++pair) {
        pid_t children[2];
        for (int i = 0; i < 2; ++i) {
            children[i] = fork();
            ASSERT_GE(children[i], 0);
            if (children[i] == 0) {
                g_settings = RunSettings(pair * 2 + i);
                _exit(SaveSettings() ? 0 : 1);
            }
        }
        for (pid_t child : children) {
            int status = 0;
            ASSERT_EQ(waitpid(child, &status, 0), child);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        LoadSettings();
        const int run = g_settings.delay;
        ASSERT_TRUE(run == pair * 2 || run == pair * 2 + 1) << run;
        const SaverSettings expected = RunSettings(run);
        EXPECT_EQ(std::memcmp(&g_settings, &expected, offsetof(SaverSettings, path)), 0) << pair;
        EXPECT_STREQ(g_settings.path, expected.path);
    }
}

// Without HOME the password database names the home folder; without an entry there, nothing
// is written anywhere. Run in a private root with its own password file.
TEST_F(StoreFileTest, HomeComesFromThePasswordDatabase) {
    if (geteuid() != 0) {
        GTEST_SKIP() << "needs chroot";
    }
    for (const bool listed : {true, false}) {
        SCOPED_TRACE(listed ? "listed" : "not listed");
        const std::string root = home_ + (listed ? "/listed" : "/unlisted");
        ASSERT_EQ(system(("mkdir -p " + root + "/etc " + root + "/home/u").c_str()), 0);
        std::ofstream(root + "/etc/passwd")
            << (listed ? "root:x:0:0:root:/home/u:/bin/sh\n" : "other:x:1:1::/home/u:/bin/sh\n");
        const pid_t child = fork();
        if (child == 0) {
            unsetenv("HOME");
            unsetenv("XDG_CONFIG_HOME");
            if (chroot(root.c_str()) != 0 || chdir("/") != 0) {
                _exit(3);
            }
            g_settings = RunSettings(5);
            _exit(SaveSettings() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), listed ? 0 : 1);
        const std::string store = root + "/home/u/.config/fotovane/registry.reg";
        EXPECT_EQ(access(store.c_str(), F_OK) == 0, listed);
        EXPECT_EQ(access((root + "/.config").c_str(), F_OK), -1);
    }
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
