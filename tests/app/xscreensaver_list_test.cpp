#include <gtest/gtest.h>

#include <string>

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
    const Case cases[] = {
        {"programs: qix --root \\n\\\n fotovane --root \\n\n", 1, 2},
        {"*programs: \"Pictures\" /usr/local/bin/fotovane -root --folder /p\n", 1, 1},
        {"programs: qix \\n\\\n-  GL: \"Photos\"  fotovane --root\\n\\\n\n", 0, 2},
        {"programs: qix \\n\\\n'/opt/my saver/fotovane' --root\n", 1, 2},
    };
    for (const Case& c : cases) {
        ProgramsListEdit edit = AddToProgramsList(c.before, System, "Fotovane", Command);
        EXPECT_EQ(edit.added, 0) << c.before;
        EXPECT_EQ(edit.text, c.before) << c.before;
        EXPECT_EQ(edit.enabled, c.enabled) << c.before;
        EXPECT_EQ(edit.position, c.position) << c.before;
    }
    // Another program whose name merely contains ours is not ours.
    EXPECT_EQ(AddToProgramsList("programs: fotovane2 --root\n", System, "F", Command).added, 1);
}

TEST(XScreenSaverList, QuotesOnlyWhatTheShellWouldSplit) {
    EXPECT_EQ(ShellQuoted("/usr/lib/fotovane"), "/usr/lib/fotovane");
    EXPECT_EQ(ShellQuoted("/opt/my saver/fotovane"), "'/opt/my saver/fotovane'");
    EXPECT_EQ(ShellQuoted("/it's"), "'/it'\\''s'");
}

}  // namespace
