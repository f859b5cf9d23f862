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

TEST(ProgramOptions, RefusesWhatItDoesNotKnow) {
    const char* cases[] = {
        "-bogus",
        "--",
        "-",
        "picture.jpg",
        "---root",
        "-window-id",
        "-window-id 0",
        "-window-id 0x",
        "-window-id 12ab",
        "-window-id -5",
        "--delay",
        "--delay -1",
        "--delay 1.5",
        "--delay 99999999999",
        "--delay x",
        "--mode",
        "--mode slideshow",
        "--size huge",
        "--size Full",
        "--position left",
        "--folder",
        "-visual",
        "--random=yes",
        "--formats",
        "--formats png",
    };
    for (const char* line : cases) {
        ProgramOptions options;
        EXPECT_FALSE(Parse(line, &options)) << line;
    }
    std::string longFolder = "--folder /" + std::string(MaxPath, 'a');
    ProgramOptions options;
    EXPECT_FALSE(Parse(longFolder, &options));
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
        {"-delay 0", {0, 1, 0, 0, 0, 0, "/stored", 0}, false},
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
