#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <unistd.h>
#include <fstream>
#include <vector>
#include <string>

#include "app/pictures_folder.h"
#include "base/platform_types.h"

namespace {

TEST(PicturesFolder, ReadsTheUserDirsFile) {
    struct Case {
        const char* text;
        const char* expected;  // null: the text names no folder
    };
    const Case cases[] = {
        {"XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", "/home/ann/Pictures"},
        {"# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_PICTURES_DIR=\"$HOME/Bilder\"\n",
         "/home/ann/Bilder"},
        {"XDG_PICTURES_DIR=\"/srv/photos/\"", "/srv/photos"},
        {"  XDG_PICTURES_DIR=\"$HOME/My \\\"Best\\\" Shots\"\n", "/home/ann/My \"Best\" Shots"},
        {"XDG_PICTURES_DIR=\"$HOME/a\"\nXDG_PICTURES_DIR=\"$HOME/b\"\n", "/home/ann/b"},
        {"XDG_PICTURES_DIR=\"$HOME\"\n", "/home/ann"},
        {"XDG_PICTURES_DIR=\"relative/path\"\n", nullptr},
        {"XDG_PICTURES_DIR=\"$HOMEWORK/x\"\n", nullptr},
        {"XDG_PICTURES_DIR=$HOME/Pictures\n", nullptr},
        {"XDG_PICTURES_DIR=\"$HOME/unterminated\n", nullptr},
        {"#XDG_PICTURES_DIR=\"$HOME/Pictures\"\n", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) {
        char folder[MaxPath] = "unchanged";
        int32_t found = PicturesFolderFromDirs(c.text, "/home/ann", folder);
        EXPECT_EQ(found != 0, c.expected != nullptr) << c.text;
        if (c.expected) {
            EXPECT_STREQ(folder, c.expected) << c.text;
        }
    }
    char folder[MaxPath];
    std::string tooLong = "XDG_PICTURES_DIR=\"/" + std::string(MaxPath, 'p') + "\"";
    EXPECT_EQ(PicturesFolderFromDirs(tooLong.c_str(), "/home/ann", folder), 0);
}

// Sets environment variables for one test and puts them back after it.
class Environment {
  public:
    void Set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved.push_back({name, old ? old : "", old != nullptr});
        setenv(name, value.c_str(), 1);
    }
    void Unset(const char* name) {
        const char* old = std::getenv(name);
        saved.push_back({name, old ? old : "", old != nullptr});
        unsetenv(name);
    }
    ~Environment() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->had) {
                setenv(it->name.c_str(), it->value.c_str(), 1);
            } else {
                unsetenv(it->name.c_str());
            }
        }
    }

  private:
    struct Saved {
        std::string name;
        std::string value;
        bool had;
    };
    std::vector<Saved> saved;
};

TEST(PicturesFolder, FollowsTheConfigHomeAndFallsBackToPictures) {
    namespace fs = std::filesystem;
    fs::path home = fs::temp_directory_path() / ("fv-pictures-" + std::to_string(getpid()));
    fs::create_directories(home / ".config");
    fs::create_directories(home / "elsewhere");
    Environment environment;
    environment.Set("HOME", home.string());
    environment.Unset("XDG_CONFIG_HOME");
    char folder[MaxPath];

    DefaultPicturesFolder(folder);
    EXPECT_EQ(std::string(folder), home.string() + "/Pictures");

    std::ofstream(home / ".config" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"$HOME/Fotos\"\n";
    DefaultPicturesFolder(folder);
    EXPECT_EQ(std::string(folder), home.string() + "/Fotos");

    std::ofstream(home / "elsewhere" / "user-dirs.dirs") << "XDG_PICTURES_DIR=\"/media/pics\"\n";
    environment.Set("XDG_CONFIG_HOME", (home / "elsewhere").string());
    DefaultPicturesFolder(folder);
    EXPECT_STREQ(folder, "/media/pics");

    // A config home that is not absolute is ignored, as the base-directory rules say.
    environment.Set("XDG_CONFIG_HOME", "relative");
    DefaultPicturesFolder(folder);
    EXPECT_EQ(std::string(folder), home.string() + "/Fotos");
    fs::remove_all(home);
}

}  // namespace
