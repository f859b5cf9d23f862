#include <gtest/gtest.h>
#include <string>
#include "app/saver_mode.h"

namespace {

struct Row {
    const char* line;
    SaverMode mode;
    int32_t handle;
    bool foreground;
};

void Expect(const Row& row) {
    const CommandLine parsed = ParseCommandLine(row.line);
    EXPECT_EQ(parsed.mode, row.mode) << '[' << row.line << ']';
    EXPECT_EQ(parsed.handle, row.handle) << '[' << row.line << ']';
    EXPECT_EQ(parsed.useForegroundWindow, row.foreground) << '[' << row.line << ']';
}

TEST(CommandLine, SwitchesAfterAPlainPath) {
    const Row rows[] = {
        {"fv.scr", Configure, 0, false},
        {"fv.scr ", Configure, 0, false},
        {"fv.scr    ", Configure, 0, false},
        {"fv.scr /s", Saver, 0, false},
        {"fv.scr -S", Saver, 0, false},
        {"fv.scr s", Saver, 0, false},
        {"fv.scr /saver 12", Saver, 0, false},
        {"fv.scr    /s", Saver, 0, false},
        {"fv.scr /p 1234", Preview, 1234, false},
        {"fv.scr /p:1234", Preview, 1234, false},
        {"fv.scr /P : 1234", Preview, 1234, false},
        {"fv.scr -l1234", Preview, 1234, false},
        {"fv.scr p1234", Preview, 1234, false},
        {"fv.scr /p :: : 77", Preview, 77, false},
        {"fv.scr /preview 1234", Preview, 0, false},
        {"fv.scr /p", Preview, 0, false},
        {"fv.scr /c", Configure, 0, true},
        {"fv.scr /c  ", Configure, 0, true},
        {"fv.scr /c : :", Configure, 0, true},
        {"fv.scr /c:1234", Configure, 1234, false},
        {"fv.scr /C 1234", Configure, 1234, false},
        {"fv.scr /c x", Configure, 0, false},
        {"fv.scr /a 1234", ChangePassword, 1234, false},
        {"fv.scr -a:1234", ChangePassword, 1234, false},
        {"fv.scr /a", ChangePassword, 0, false},
        {"fv.scr klean", Clean, 0, false},
        {"fv.scr /klean", Clean, 0, false},
        {"fv.scr -klean", Clean, 0, false},
        {"fv.scr /x", NoMode, 0, false},
        {"fv.scr /", NoMode, 0, false},
        {"fv.scr Klean", NoMode, 0, false},
        {"fv.scr klean ", NoMode, 0, false},
        {"fv.scr kleaner", NoMode, 0, false},
        {"fv.scr //s", NoMode, 0, false},
    };
    for (const Row& row : rows) {
        Expect(row);
    }
}

TEST(CommandLine, QuotedPaths) {
    const Row rows[] = {
        {"\"C:\\Program Files\\fv.scr\"", Configure, 0, false},
        {"\"C:\\Program Files\\fv.scr\" /s", Saver, 0, false},
        {"\"C:\\Program Files\\fv.scr\"/s", Saver, 0, false},
        {"\"C:\\Program Files\\fv.scr\"/p 5", Preview, 5, false},
        {"\"C:\\Program Files\\fv.scr /s", Configure, 0, false},  // no closing quote
        {"\"\"", Configure, 0, false},
        {"", Configure, 0, false},
    };
    for (const Row& row : rows) {
        Expect(row);
    }
}

TEST(CommandLine, TabsAreNotBlanks) {
    Expect({"\"fv.scr\"\t/s", NoMode, 0, false});
    Expect({"fv.scr\t/s", Configure, 0, false});
    Expect({"fv.scr /p\t5", Preview, 5, false});  // the number reader skips any white space
}

TEST(CommandLine, NumbersReadLikeAtoi) {
    EXPECT_EQ(ReadNumber("  +42x"), 42);
    EXPECT_EQ(ReadNumber("\t\n-17"), -17);
    EXPECT_EQ(ReadNumber("- 5"), 0);
    EXPECT_EQ(ReadNumber("abc"), 0);
    EXPECT_EQ(ReadNumber(""), 0);
    EXPECT_EQ(ReadNumber("4294967295"), -1);
    EXPECT_EQ(ReadNumber("2147483648"), INT32_MIN);
    Expect({"fv.scr /p -12", Preview, -12, false});
    Expect({"fv.scr /a :  +9", ChangePassword, 9, false});
}

}  // namespace
