#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/xscreensaver_entry.h"
#include "app/xscreensaver_list.h"

namespace {

const std::string Command = "fotovane --root --defaults";
const std::string Entry = "\t\t\t\t\"Fotovane\" fotovane --root --defaults\t\t\t    \\n";
const std::string System =
    "*timeout:\t0:10:00\n"
    "*programs:\t\t\t\\\n"
    "\t\t\t\tmaze --root\t\t\\n\\\n"
    "- GL: \t\t\tsuperquadrics --root\t\\n\n"
    "\n"
    "*hacks.maze.name: Maze\n";

TEST(XScreenSaverList, AddsOneEntryAndKeepsEveryOtherLine) {
    struct Case {
        const char* what;
        std::string before;
        std::string after;
        int32_t position;
    };
    const Case cases[] = {
        {"a new file gets the system list", "# made\n\n",
         "# made\n\nprograms:\t\t\t\\\n\t\t\t\tmaze --root\t\t\\n\\\n"
         "- GL: \t\t\tsuperquadrics --root\t\\n\\\n" +
             Entry + "\n",
         3},
        {"a file without the list keeps its settings", "lock:\tTrue\nmode:\tone",
         "lock:\tTrue\nmode:\tone\n\nprograms:\t\t\t\\\n\t\t\t\tmaze --root\t\t\\n\\\n"
         "- GL: \t\t\tsuperquadrics --root\t\\n\\\n" +
             Entry + "\n",
         3},
        {"the settings tool's layout: a blank line ends the list",
         "mode:\tone\nselected:\t1\nprograms:\t\\\n  qix --root  \\n\\\n- \"Gone\" x --root \\n\\\n"
         "\npointerHysteresis:\t10\n",
         "mode:\tone\nselected:\t1\nprograms:\t\\\n  qix --root  \\n\\\n- \"Gone\" x --root "
         "\\n\\\n" +
             Entry + "\\\n\npointerHysteresis:\t10\n",
         3},
        {"the last entry without its line end", "programs: qix --root\nlock: False\n",
         "programs: qix --root\t\\n\\\n" + Entry + "\nlock: False\n", 2},
        {"the last entry ends the file, continued",
         "programs: \\\n  qix --root \\n\\\n  maze --root \\n\\",
         "programs: \\\n  qix --root \\n\\\n  maze --root \\n\\\n" + Entry, 3},
        {"an empty list", "programs:\nlock: False\n", "programs:\t\\\n" + Entry + "\nlock: False\n",
         1},
    };
    for (const Case& c : cases) {
        ProgramsListEdit edit = AddToProgramsList(c.before, System, "Fotovane", Command);
        EXPECT_EQ(edit.added, 1) << c.what;
        EXPECT_EQ(edit.text, c.after) << c.what;
        EXPECT_EQ(edit.position, c.position) << c.what;
        // A second run finds the entry where the first put it and changes nothing.
        ProgramsListEdit again = AddToProgramsList(edit.text, System, "Fotovane", Command);
        EXPECT_EQ(again.added, 0) << c.what;
        EXPECT_EQ(again.text, edit.text) << c.what;
        EXPECT_EQ(again.position, c.position) << c.what;
    }
}

TEST(XScreenSaverList, FindsAnEntryHoweverItIsWritten) {
    struct Case {
        const char* before;
        int32_t enabled;
        int32_t position;
    };
    // The same command, as the settings tool may have rewritten it: nothing changes.
    const Case cases[] = {
        {"programs: qix --root \\n\\\n fotovane --root --defaults \\n\n", 1, 2},
        {"*programs: \"Pictures\" fotovane\t--root --defaults\n", 1, 1},
        {"programs: qix \\n\\\n-  GL: \"Photos\"  fotovane --root\t\t  \\\n\t\t\t\t  "
         "--defaults\\n\\\n\n",
         0, 2},
    };
    for (const Case& c : cases) {
        ProgramsListEdit edit = AddToProgramsList(c.before, System, "Fotovane", Command);
        EXPECT_EQ(edit.added + edit.replaced, 0) << c.before;
        EXPECT_EQ(edit.text, c.before) << c.before;
        EXPECT_EQ(edit.enabled, c.enabled) << c.before;
        EXPECT_EQ(edit.position, c.position) << c.before;
    }
    // Another program whose name merely contains ours is not ours.
    EXPECT_EQ(AddToProgramsList("programs: fotovane2 --root\n", System, "F", Command).added, 1);
}

// A run with other settings gives our entry the new command; its name, switch, visual and
// place stay, and so does every other byte of the file.
TEST(XScreenSaverList, ReplacesOnlyTheCommandOfOurEntry) {
    const std::string mine = "fotovane --root --defaults --folder '/home/u/My Photos' --random";
    struct Case {
        const char* what;
        std::string before;
        std::string after;
        std::string previous;
        int32_t enabled;
        int32_t position;
    };
    const Case cases[] = {
        {"our own entry",
         "lock: False\nprograms:\t\\\n  qix --root\t\\n\\\n" + Entry + "\\\n\nfade: 1\n",
         "lock: False\nprograms:\t\\\n  qix --root\t\\n\\\n\t\t\t\t\"Fotovane\" " + mine +
             "\t\t\t    \\n\\\n\nfade: 1\n",
         Command, 1, 2},
        {"switched off, with a visual and a name of the user's, by path, mid-list",
         "programs: qix \\n\\\n-  GL: \"Photos\"  /usr/local/bin/fotovane -root --folder /p\\n\\\n"
         "  maze --root \\n\n",
         "programs: qix \\n\\\n-  GL: \"Photos\"  " + mine + "\\n\\\n  maze --root \\n\n",
         "/usr/local/bin/fotovane -root --folder /p", 0, 2},
        {"a quoted path, the list's last entry without its line end",
         "programs: qix \\n\\\n'/opt/my saver/fotovane' --root\n",
         "programs: qix \\n\\\n" + mine + "\n", "'/opt/my saver/fotovane' --root", 1, 2},
        {"wrapped by the settings tool over four lines, after the name and inside the folder",
         "programs: \\\n  qix --root \\n\\\n  \"Fotovane\"\t\t\t   \\\n\t\t\t\t  fotovane --root "
         "--defaults\t\t   \\\n\t\t\t\t  --folder '/home/u/Old\t\t\t   \\\n\t\t\t\t  "
         "Photos'\t\\n\\\n"
         "  maze --root \\n\n",
         "programs: \\\n  qix --root \\n\\\n  \"Fotovane\" " + mine +
             "\t\\n\\\n  maze --root \\n\n",
         "fotovane --root --defaults\t\t   \t\t\t\t  --folder '/home/u/Old\t\t\t   \t\t\t\t  "
         "Photos'",
         1, 2},
        {"the first of two entries of ours",
         "programs: fotovane --root \\n\\\n \"Two\" fotovane --root --folder /b \\n\n",
         "programs: " + mine + " \\n\\\n \"Two\" fotovane --root --folder /b \\n\n",
         "fotovane --root", 1, 1},
    };
    for (const Case& c : cases) {
        ProgramsListEdit edit = AddToProgramsList(c.before, System, "Fotovane", mine);
        EXPECT_EQ(edit.added, 0) << c.what;
        EXPECT_EQ(edit.replaced, 1) << c.what;
        EXPECT_EQ(edit.text, c.after) << c.what;
        EXPECT_EQ(edit.previous, c.previous) << c.what;
        EXPECT_EQ(edit.enabled, c.enabled) << c.what;
        EXPECT_EQ(edit.position, c.position) << c.what;
        // The same settings again change nothing; the first ones again bring back the file.
        ProgramsListEdit again = AddToProgramsList(edit.text, System, "Fotovane", mine);
        EXPECT_EQ(again.added + again.replaced, 0) << c.what;
        EXPECT_EQ(again.text, edit.text) << c.what;
    }
    ProgramsListEdit back = AddToProgramsList(cases[0].after, System, "Fotovane", Command);
    EXPECT_EQ(back.text, cases[0].before);
}

// The settings given with the joiner, as the page writes them: with --defaults a setting at its
// default needs no word.
TEST(XScreenSaverList, CarriesTheSettingsGivenIntoTheEntry) {
    struct Case {
        std::vector<const char*> argv;
        const char* arguments;
    };
    const Case cases[] = {
        {{}, "--root --defaults"},
        {{"--folder", "/home/u/Photos"}, "--root --defaults --folder /home/u/Photos"},
        {{"-folder", "/home/u/My Photos", "-random", "--save"},
         "--root --defaults --folder '/home/u/My Photos' --random"},
        {{"--delay", "20", "--mode", "collage", "--size", "small", "--position", "centered",
          "--subdirs", "--formats", "jpeg"},
         "--root --defaults --delay 20 --mode collage --size small --position centered --subdirs "
         "--formats jpeg"},
        {{"--size", "large", "--formats", "jpeg", "--formats", "all"},
         "--root --defaults --size large"},
        {{"--delay", "10", "--mode", "slide", "--size", "full", "--position", "scattered",
          "--no-random", "--no-subdirs", "--formats", "all", "-root", "-window-id", "5"},
         "--root --defaults"},
    };
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"fotovane"};
        argv.insert(argv.end(), c.argv.begin(), c.argv.end());
        argv.push_back("--add-to-xscreensaver");
        ProgramOptions options;
        ASSERT_TRUE(ParseOptions(static_cast<int>(argv.size()), argv.data(), &options))
            << c.arguments;
        EXPECT_EQ(EntryArguments(options), c.arguments);
    }
}

TEST(XScreenSaverList, QuotesOnlyWhatTheShellWouldSplit) {
    EXPECT_EQ(ShellQuoted("/usr/lib/fotovane"), "/usr/lib/fotovane");
    EXPECT_EQ(ShellQuoted("/opt/my saver/fotovane"), "'/opt/my saver/fotovane'");
    // No backslash, which the preferences file would read as an escape.
    EXPECT_EQ(ShellQuoted("/it's"), "'/it'\"'\"'s'");
    EXPECT_EQ(ShellQuoted("/a$b`c\"d"), "'/a$b`c\"d'");
}

}  // namespace
