// The setup dialog's rules that need no window: the delay text, Longer and Shorter, the
// check states for stored values and what OK makes of them, and the Collage coupling.

#include <cstring>
#include <gtest/gtest.h>
#include "dialogs/config_values.h"

namespace {

SaverSettings Settings(int32_t position, int32_t mode, int32_t size) {
    SaverSettings settings{};
    settings.position = position;
    settings.mode = mode;
    settings.size = size;
    return settings;
}

TEST(DelayText, ReadsLikeTheCommandLineNumber) {
    EXPECT_EQ(ReadDelayText("10"), 10);
    EXPECT_EQ(ReadDelayText("  7abc"), 7);
    EXPECT_EQ(ReadDelayText("12ab3"), 12);
    EXPECT_EQ(ReadDelayText(" \t\n\v\f\r+25"), 25);
    EXPECT_EQ(ReadDelayText("-3"), -3);
    EXPECT_EQ(ReadDelayText(""), 0);
    EXPECT_EQ(ReadDelayText("abc"), 0);
    EXPECT_EQ(ReadDelayText("+-5"), 0);
    EXPECT_EQ(ReadDelayText("\xa0"
                            "5"),
              0);  // only the six C white-space characters count
}

TEST(DelayText, WrapsAroundAt32Bits) {
    EXPECT_EQ(ReadDelayText("4294967295"), -1);
    EXPECT_EQ(ReadDelayText("2147483648"), INT32_MIN);
    EXPECT_EQ(ReadDelayText("-2147483648"), INT32_MIN);
    EXPECT_EQ(ReadDelayText("4294967307"), 11);
    EXPECT_EQ(ReadDelayText("-4294967295"), 1);
    EXPECT_EQ(ReadDelayText("99999999999999999999"), 1661992959);
}

TEST(DelayText, StepsWithoutBounds) {
    EXPECT_EQ(StepDelay("1", -1), 0);
    EXPECT_EQ(StepDelay("0", -1), -1);
    EXPECT_EQ(StepDelay("4294967295", 1), 0);
    EXPECT_EQ(StepDelay("x", 1), 1);
    EXPECT_EQ(StepDelay("2147483647", 1), INT32_MIN);
    EXPECT_EQ(StepDelay("-2147483648", -1), INT32_MAX);
}

TEST(DelayText, FormatsSigned) {
    char text[12];
    FormatDelay(INT32_MIN, text, sizeof(text));
    EXPECT_STREQ(text, "-2147483648");
}

TEST(ConfigChecks, ShowEachStoredChoice) {
    ConfigChecks checks = ChecksFromSettings(Settings(1, 0, 0));
    EXPECT_TRUE(checks.scattered && checks.slideShow && checks.fullScreen);
    EXPECT_FALSE(checks.centered || checks.collage || checks.large || checks.small);

    checks = ChecksFromSettings(Settings(0, 1, 1));
    EXPECT_TRUE(checks.centered && checks.collage && checks.large);
    EXPECT_FALSE(checks.scattered || checks.slideShow || checks.fullScreen || checks.small);

    EXPECT_TRUE(ChecksFromSettings(Settings(0, 0, 2)).small);
    EXPECT_TRUE(ChecksFromSettings(Settings(0, 0, 77)).small);
}

TEST(ConfigChecks, OutOfRangeValuesLeaveTheirGroupClear) {
    ConfigChecks checks = ChecksFromSettings(Settings(7, 5, -1));
    EXPECT_FALSE(checks.centered || checks.scattered);
    EXPECT_FALSE(checks.slideShow || checks.collage);
    EXPECT_FALSE(checks.fullScreen || checks.large || checks.small);
    EXPECT_FALSE(ChecksFromSettings(Settings(-1, -1, 0)).centered);
}

TEST(ConfigChecks, OkStoresOnlyTheDialogsChoicesButKeepsAnUnshownMode) {
    SaverSettings settings = Settings(7, 5, -1);
    StoreChecks(ChecksFromSettings(settings), &settings);
    EXPECT_EQ(settings.position, 1);
    EXPECT_EQ(settings.mode, 5);
    EXPECT_EQ(settings.size, 2);

    for (int32_t position : {0, 1}) {
        for (int32_t mode : {0, 1}) {
            for (int32_t size : {0, 1, 2}) {
                SaverSettings roundTrip = Settings(position, mode, size);
                StoreChecks(ChecksFromSettings(roundTrip), &roundTrip);
                EXPECT_EQ(roundTrip.position, position);
                EXPECT_EQ(roundTrip.mode, mode);
                EXPECT_EQ(roundTrip.size, size);
            }
        }
    }
}

TEST(ConfigChecks, BoxesShowAnyNonzeroAsOnAndStoreOneOrZero) {
    SaverSettings settings{};
    settings.subdirs = 5;
    settings.random = -1;
    ConfigChecks checks = ChecksFromSettings(settings);
    EXPECT_TRUE(checks.subdirs && checks.random);
    StoreChecks(checks, &settings);
    EXPECT_EQ(settings.subdirs, 1);
    EXPECT_EQ(settings.random, 1);

    checks.subdirs = false;
    StoreChecks(checks, &settings);
    EXPECT_EQ(settings.subdirs, 0);
    EXPECT_EQ(settings.random, 1);
}

TEST(ConfigChecks, CollageMovesFullScreenAndCentered) {
    ConfigChecks checks = ChecksFromSettings(Settings(0, 1, 0));
    ApplyCollageChoice(&checks);
    EXPECT_TRUE(checks.large && checks.scattered);
    EXPECT_FALSE(checks.fullScreen || checks.centered || checks.small);

    checks = ChecksFromSettings(Settings(0, 1, 2));
    ApplyCollageChoice(&checks);
    EXPECT_TRUE(checks.small && checks.scattered);
    EXPECT_FALSE(checks.large || checks.fullScreen);

    // A size group left clear by an unknown size stays clear: OK will make it Small.
    checks = ChecksFromSettings(Settings(7, 1, -1));
    ApplyCollageChoice(&checks);
    EXPECT_FALSE(checks.fullScreen || checks.large || checks.small);
    EXPECT_TRUE(checks.scattered);
}

}  // namespace
