// The store file that stands in for the registry off Windows: its text, and that it stays
// whole when things go wrong.

#include <dirent.h>
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
#include <map>
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

// A regular file's text, else its type: opening a FIFO or a device is what must not happen.
std::string Describe(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) {
        return "absent";
    }
    if (!S_ISREG(info.st_mode)) {
        return "type " + std::to_string(info.st_mode & S_IFMT);
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

constexpr const char* StoreWithDelay3 =
    "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Screen Savers\\Fotovane3.0]\n"
    "\"delay\"=dword:00000003\n";

// Runs body in a child process, its stderr into errors when named.
pid_t Spawn(const std::function<bool()>& body, const std::string& errors = "") {
    const pid_t child = fork();
    if (child == 0) {
        if (!errors.empty()) {
            dup2(open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), 2);
        }
        _exit(body() ? 0 : 1);
    }
    return child;
}

int ExitCode(pid_t child) {
    int status = 0;
    return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Permissions do not stop root: the save then runs as nobody.
void ReadOnly(const std::string& folder) {
    for (const std::string& path : {folder + "/..", folder, folder + "/registry.reg"}) {
        ASSERT_TRUE(geteuid() != 0 || chown(path.c_str(), 65534, 65534) == 0);
    }
    chmod(folder.c_str(), 0555);
}

void AsNobody() {
    if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) {
        _exit(3);
    }
}

void WithFullDisk() {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit = {64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
}

// Damaged stores kept aside by earlier saves, .damaged to .damaged.<last>, but not <free>; the
// one named <oldest> was kept first. As folders when the saver must not replace them.
void KeptAside(const std::string& folder, int last, int free, int oldest, bool folders = false) {
    const std::string store = folder + "/registry.reg.damaged";
    auto make = [&](int n) {
        const std::string name = store + (n == 1 ? "" : "." + std::to_string(n));
        folders ? (void)mkdir(name.c_str(), 0700) : (void)(std::ofstream(name) << "kept " << n);
        chmod(name.c_str(), 0700);  // a new status time even when it was there
        return name;
    };
    struct stat first, later;
    stat(make(oldest).c_str(), &first);
    // The status time moves on in clock ticks: wait for the next one.
    do {
        const timespec pause = {0, 2000000L};
        nanosleep(&pause, nullptr);
        stat(make(oldest == 1 ? 2 : 1).c_str(), &later);
    } while (later.st_ctim.tv_sec == first.st_ctim.tv_sec &&
             later.st_ctim.tv_nsec == first.st_ctim.tv_nsec);
    for (int n = 1; n <= last; ++n) {
        if (n != free && n != oldest) {
            make(n);
        }
    }
}

// Everything in the folder but the store, its lock and the name it kept the damaged one as.
std::map<std::string, std::string> Others(const std::string& folder, const char* keptAs) {
    std::map<std::string, std::string> others;
    DIR* dir = opendir(folder.c_str());
    for (dirent* entry; dir && (entry = readdir(dir));) {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != "registry.reg" && name != "registry.lock" &&
            (!keptAs || name != std::string("registry.reg") + keptAs)) {
            others[name] = Describe(folder + "/" + name);
        }
    }
    if (dir) {
        closedir(dir);
    }
    return others;
}

TEST_F(StoreFileTest, HostileStoresNeitherStallNorLoseData) {
    using Folder = const std::string&;
    struct Case {
        const char* name;
        std::string text;     // the store file, when not empty
        void (*odd)(Folder);  // what else is odd about the folder
        int32_t loads;        // the delay a load gives
        bool saves = false;
        // The name the damaged file is kept as after registry.reg; empty when it cannot be.
        const char* keptAs = nullptr;
        void (*limit)() = nullptr;  // on the saving process
    };
    std::string manyKeys = "REGEDIT4\n";
    for (int i = 0; i < 20000; ++i) {
        manyKeys += "[HKEY_CURRENT_USER\\K" + std::to_string(i) + "]\n\"v\"=dword:00000001\n";
    }
    const std::string ok = StoreWithDelay3;
    manyKeys += ok.substr(9);
    const std::string damaged = ok + "\"path\"=\"C:\\\\half";
    const Case cases[] = {
        {"too large", "REGEDIT4\n;" + std::string(2 << 20, 'x'), nullptr, 10, true, ".damaged"},
        {"many keys", manyKeys, nullptr, 3, true},
        {"damaged", damaged, nullptr, 10, true, ".damaged"},
        {"damaged, some kept", damaged, [](Folder f) { KeptAside(f, 10, 7, 4); }, 10, true,
         ".damaged.7"},
        // Only the first ten names are used: a free one past them is not.
        {"damaged, 99 kept", damaged, [](Folder f) { KeptAside(f, 100, 50, 4); }, 10, true,
         ".damaged.4"},
        {"damaged, folders in the way", damaged, [](Folder f) { KeptAside(f, 10, 0, 1, true); }, 10,
         true, ""},
        {"FIFO store", "", [](Folder f) { mkfifo((f + "/registry.reg").c_str(), 0600); }, 10},
        {"FIFO lock", ok, [](Folder f) { mkfifo((f + "/registry.lock").c_str(), 0600); }, 3},
        {"link to a device", "",
         [](Folder f) { symlink("/dev/zero", (f + "/registry.reg").c_str()); }, 10},
        {"folder as store", "", [](Folder f) { mkdir((f + "/registry.reg").c_str(), 0700); }, 10},
        {"file as folder", "", [](Folder f) { rmdir(f.c_str()), std::ofstream(f) << "x"; }, 10},
        {"read-only folder", ok, ReadOnly, 3, false, nullptr, AsNobody},
        {"full disk", ok, nullptr, 3, false, nullptr, WithFullDisk},
    };
    const std::string folder = home_ + "/fotovane";
    const std::string errors = home_ + "/errors";
    auto state = [&] {
        const std::string lock = Describe(folder + "/registry.lock");
        return Describe(folder) + Describe(StoreFile()) + Describe(StoreFile() + ".damaged") +
               (lock.rfind("type", 0) == 0 ? lock : "");
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(system(("chmod -R u+rwX " + home_ + "; rm -rf " + folder).c_str()), 0);
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        if (!c.text.empty()) {
            std::ofstream(StoreFile(), std::ios::binary) << c.text;
        }
        if (c.odd) {
            c.odd(folder);
        }
        const std::string before = state();
        const auto others = Others(folder, c.keptAs);

        alarm(60);  // a store that blocks fails here instead of stalling the run
        // Processor time, which other work on the machine does not stretch.
        const std::clock_t start = std::clock();
        LoadSettings();
        const double took = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        EXPECT_EQ(g_settings.delay, c.loads);
        // Linear work on a megabyte at most, about 0.1 s; quadratic work took minutes.
        EXPECT_LT(took, 2.0);

        g_settings.delay = 77;
        const int saved = ExitCode(Spawn(
            [&] {
                if (c.limit) {
                    c.limit();
                }
                return SaveSettings();
            },
            errors));
        alarm(0);
        EXPECT_EQ(saved == 0, c.saves);
        const std::string told = Describe(errors);
        if (!c.saves) {
            EXPECT_EQ(state(), before);
            EXPECT_NE(told.find("cannot save settings"), std::string::npos) << told;
            continue;
        }
        LoadSettings();
        EXPECT_EQ(g_settings.delay, 77);
        EXPECT_EQ(Others(folder, c.keptAs), others);
        const bool kept = c.keptAs && *c.keptAs;
        if (kept) {
            EXPECT_EQ(Describe(StoreFile() + c.keptAs), c.text);
        }
        EXPECT_EQ(told.find("; kept it as " + StoreFile() + (kept ? c.keptAs : "") + " and") !=
                      std::string::npos,
                  kept)
            << told;
        EXPECT_EQ(told.find("cannot be kept aside") != std::string::npos, c.keptAs && !kept)
            << told;
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
    SaverSettings settings = {run,        run + 1000, run + 2000, run + 3000,
                              run + 4000, run + 5000, {},         run};
    std::snprintf(settings.path, sizeof settings.path, "/run/%d", run);
    return settings;
}

TEST_F(StoreFileTest, ConcurrentSavesLeaveOneRunsSettingsWhole) {
    for (int pair = 0; pair < 25; ++pair) {
        pid_t children[2];
        for (int i = 0; i < 2; ++i) {
            children[i] = Spawn([&] {
                g_settings = RunSettings(pair * 2 + i);
                return SaveSettings();
            });
        }
        EXPECT_EQ(ExitCode(children[0]) + ExitCode(children[1]), 0);
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
    for (const char* entry : {"root:x:0:0::/home/u:/bin/sh\n", "other:x:1:1::/home/u:/bin/sh\n"}) {
        const bool listed = entry[0] == 'r';
        const std::string root = home_ + (listed ? "/listed" : "/unlisted");
        ASSERT_EQ(system(("mkdir -p " + root + "/etc " + root + "/home/u").c_str()), 0);
        std::ofstream(root + "/etc/passwd") << entry;
        const int code = ExitCode(Spawn([&] {
            unsetenv("HOME");
            unsetenv("XDG_CONFIG_HOME");
            return chroot(root.c_str()) == 0 && chdir("/") == 0 && SaveSettings();
        }));
        EXPECT_EQ(code, listed ? 0 : 1);
        const std::string store = root + "/home/u/.config/fotovane/registry.reg";
        EXPECT_EQ(access(store.c_str(), F_OK) == 0, listed) << entry;
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
