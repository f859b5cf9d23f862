#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/options.h"

namespace {

// Parses a command line given as one string of blank-separated words.
bool Parse(const std::string& line, ProgramOptions* options) {
    std::vector<std::string> words = {"fotovane"};
    size_t start = 0;
    while (start < line.size()) {
        size_t end = line.find(' ', start);
        end = end == std::string::npos ? line.size() : end;
        if (end > start) {
            words.push_back(line.substr(start, end - start));
        }
        start = end + 1;
    }
    std::vector<const char*> argv;
    for (const std::string& word : words) {
        argv.push_back(word.c_str());
    }
    return ParseOptions(static_cast<int>(argv.size()), argv.data(), options) != 0;
}

struct PlaceCase {
    const char* line;
    DrawPlace place;
    unsigned long windowId;
};

TEST(ProgramOptions, PicksWhereToDraw) {
    const PlaceCase cases[] = {
        {"", PlaceStandalone, 0},
        {"-root", PlaceRoot, 0},
        {"--root", PlaceRoot, 0},
        {"-window", PlaceOwnWindow, 0},
        {"--window", PlaceOwnWindow, 0},
        {"-window-id 0x600008", PlaceWindowId, 0x600008},
        {"--window-id 6291457", PlaceWindowId, 6291457},
        // The settings preview adds --window-id to the configured --root.
        {"--root --window-id 0x1A", PlaceWindowId, 0x1a},
        {"-window-id 0X1a -root", PlaceWindowId, 0x1a},
        {"-root -window", PlaceRoot, 0},
        {"--root --defaults", PlaceRoot, 0},
        // Accepted for the hosts' sake and ignored.
        {"-root -fps -no-fps -install -noinstall -mono -visual default", PlaceRoot, 0},
        {"--visual TrueColor --mono", PlaceStandalone, 0},
    };
    for (const PlaceCase& c : cases) {
        ProgramOptions options;
        ASSERT_TRUE(Parse(c.line, &options)) << c.line;
        EXPECT_EQ(options.place, c.place) << c.line;
        if (c.place == PlaceWindowId) {
            EXPECT_EQ(options.windowId, c.windowId) << c.line;
        }
    }
}

// What the program does for a command line, and the one line naming what was wrong.
TEST(ProgramOptions, NamesWhatItRefuses) {
    struct Case {
        const char* line;
        ProgramAction action;  // when accepted
        const char* error;     // when refused
    };
    const Case cases[] = {
        {"--help", ActionHelp, nullptr},
        {"-h", ActionHelp, nullptr},
        {"-root --help --bogus", ActionHelp, nullptr},
        {"--version", ActionVersion, nullptr},
        {"-version", ActionVersion, nullptr},
        {"--add-to-xscreensaver", ActionAddToXScreenSaver, nullptr},
        {"--root --defaults --delay 5", ActionShow, nullptr},
        {"-bogus", ActionShow,
         "fotovane: unknown option '-bogus'; fotovane --help lists the options"},
        {"--", ActionShow, "fotovane: unknown option '--'; fotovane --help lists the options"},
        {"-", ActionShow, "fotovane: unknown option '-'; fotovane --help lists the options"},
        {"---root", ActionShow,
         "fotovane: unknown option '---root'; fotovane --help lists the options"},
        {"--random=yes", ActionShow,
         "fotovane: unknown option '--random=yes'; fotovane --help lists the options"},
        {"picture.jpg", ActionShow,
         "fotovane: 'picture.jpg' is not an option; fotovane --help lists them"},
        {"-root extra", ActionShow,
         "fotovane: 'extra' is not an option; fotovane --help lists them"},
        {"-window-id", ActionShow, "fotovane: -window-id needs a value"},
        {"-window-id 0", ActionShow, "fotovane: -window-id: '0' is not a window id"},
        {"-window-id 0x", ActionShow, "fotovane: -window-id: '0x' is not a window id"},
        {"-window-id 12ab", ActionShow, "fotovane: -window-id: '12ab' is not a window id"},
        {"-window-id -5", ActionShow, "fotovane: -window-id: '-5' is not a window id"},
        {"--delay", ActionShow, "fotovane: --delay needs a value"},
        {"--delay abc", ActionShow,
         "fotovane: --delay: 'abc' is not a whole number of seconds, 1 or more"},
        {"--delay -1", ActionShow,
         "fotovane: --delay: '-1' is not a whole number of seconds, 1 or more"},
        {"--delay 1.5", ActionShow,
         "fotovane: --delay: '1.5' is not a whole number of seconds, 1 or more"},
        {"--delay 99999999999", ActionShow,
         "fotovane: --delay: '99999999999' is not a whole number of seconds, 1 or more"},
        {"--mode", ActionShow, "fotovane: --mode needs a value"},
        {"--mode slideshow", ActionShow, "fotovane: --mode: 'slideshow' is not slide or collage"},
        {"--size huge", ActionShow, "fotovane: --size: 'huge' is not full, large or small"},
        {"--size Full", ActionShow, "fotovane: --size: 'Full' is not full, large or small"},
        {"--position left", ActionShow,
         "fotovane: --position: 'left' is not centered or scattered"},
        {"--folder", ActionShow, "fotovane: --folder needs a value"},
        {"-visual", ActionShow, "fotovane: -visual needs a value"},
        {"--formats png", ActionShow, "fotovane: --formats: 'png' is not all or jpeg"},
    };
    for (const Case& c : cases) {
        ProgramOptions options;
        bool accepted = Parse(c.line, &options);
        EXPECT_EQ(accepted, c.error == nullptr) << c.line;
        if (accepted) {
            EXPECT_EQ(options.action, c.action) << c.line;
        } else {
            EXPECT_STREQ(options.error, c.error) << c.line;
        }
    }
    std::string longFolder = "--folder /" + std::string(MaxPath, 'a');
    ProgramOptions options;
    EXPECT_FALSE(Parse(longFolder, &options));
    EXPECT_STREQ(options.error, "fotovane: --folder: the folder name is longer than 259 bytes");
}

// XScreenSaver's settings tool wraps a long line with blanks, a backslash and tabs; the
// daemon joins the lines and leaves the blanks and tabs in the folder's name.
TEST(ProgramOptions, UnwrapsFoldersTheSettingsToolWrapped) {
    struct Case {
        const char* folder;
        int32_t changed;
        const char* unwrapped;
    };
    const Case cases[] = {
        {"/home/u/My\t\t   \t\t\t\t  Photos", 1, "/home/u/My Photos"},
        {"/a b\t\t\t   \t\tc d\t    \te", 1, "/a b c d e"},
        {"/home/u/My Photos", 0, "/home/u/My Photos"},
        {"/home/u/My   Photos", 0, "/home/u/My   Photos"},
        {"/home/u/My\tPhotos", 0, "/home/u/My\tPhotos"},
        {"/x\t\ty", 0, "/x\t\ty"},
    };
    for (const Case& c : cases) {
        char unwrapped[MaxPath];
        EXPECT_EQ(UnwrapFolder(c.folder, unwrapped), c.changed) << c.folder;
        EXPECT_STREQ(unwrapped, c.unwrapped) << c.folder;
    }
}

TEST(ProgramOptions, ShowSettingsOverrideOnlyWhatIsGiven) {
    const SaverSettings stored = {10, 1, 0, 0, 0, 0, "/stored", 0};
    struct Case {
        const char* line;
        SaverSettings expected;
        bool save;
    };
    const Case cases[] = {
        {"", stored, false},
        {"--delay 30", {30, 1, 0, 0, 0, 0, "/stored", 0}, false},
        {"-delay 1", {1, 1, 0, 0, 0, 0, "/stored", 0}, false},
        {"--delay 007", {7, 1, 0, 0, 0, 0, "/stored", 0}, false},
        {"--mode collage --size large --position centered",
         {10, 0, 1, 1, 0, 0, "/stored", 0},
         false},
        {"--mode slide --size small --position scattered",
         {10, 1, 0, 2, 0, 0, "/stored", 0},
         false},
        {"--size full", {10, 1, 0, 0, 0, 0, "/stored", 0}, false},
        {"--random --subdirs", {10, 1, 0, 0, 1, 1, "/stored", 0}, false},
        {"--random --no-random -subdirs -no-subdirs", {10, 1, 0, 0, 0, 0, "/stored", 0}, false},
        {"--folder /home/u/My_Pictures --save",
         {10, 1, 0, 0, 0, 0, "/home/u/My_Pictures", 0},
         true},
        {"-root --delay 5 -save", {5, 1, 0, 0, 0, 0, "/stored", 0}, true},
        {"--formats all", {10, 1, 0, 0, 0, 0, "/stored", 1}, false},
        {"--formats all -formats jpeg", {10, 1, 0, 0, 0, 0, "/stored", 0}, false},
    };
    for (const Case& c : cases) {
        ProgramOptions options;
        ASSERT_TRUE(Parse(c.line, &options)) << c.line;
        SaverSettings settings = stored;
        ApplyOptions(options, &settings);
        EXPECT_EQ(settings.delay, c.expected.delay) << c.line;
        EXPECT_EQ(settings.position, c.expected.position) << c.line;
        EXPECT_EQ(settings.mode, c.expected.mode) << c.line;
        EXPECT_EQ(settings.size, c.expected.size) << c.line;
        EXPECT_EQ(settings.subdirs, c.expected.subdirs) << c.line;
        EXPECT_EQ(settings.random, c.expected.random) << c.line;
        EXPECT_STREQ(settings.path, c.expected.path) << c.line;
        EXPECT_EQ(settings.formats, c.expected.formats) << c.line;
        EXPECT_EQ(options.save, c.save) << c.line;
    }
}

TEST(ProgramOptions, ReadsWindowNumbersAsHostsWriteThem) {
    struct Case {
        const char* text;
        bool ok;
        unsigned long id;
    };
    const Case cases[] = {
        {"0x600008", true, 0x600008},
        {" 0x600008", true, 0x600008},
        {"6291457", true, 6291457},
        {" 6291457 ", true, 6291457},
        {"0xfFfF", true, 0xffff},
        {"", false, 0},
        {"0", false, 0},
        {"0x", false, 0},
        {"x12", false, 0},
        {"12 13", false, 0},
        {"+12", false, 0},
        {"0x-1", false, 0},
    };
    for (const Case& c : cases) {
        unsigned long id = 0;
        EXPECT_EQ(ParseWindowId(c.text, &id) != 0, c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(id, c.id) << c.text;
        }
    }
}

}  // namespace
