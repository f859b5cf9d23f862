#include <gtest/gtest.h>
#include "app/close_rules.h"

namespace {

SaverState StateAt(int32_t x, int32_t y, int32_t threshold) {
    SaverState state;
    state.cursorBaseline = {x, y};
    state.mouseThreshold = threshold;
    return state;
}

TEST(CloseRules, ThresholdIsPerAxisAndStrict) {
    const SaverState state = StateAt(500, 400, 50);
    EXPECT_FALSE(MouseBeyondThreshold(state, {550, 400}));
    EXPECT_FALSE(MouseBeyondThreshold(state, {450, 350}));
    EXPECT_TRUE(MouseBeyondThreshold(state, {551, 400}));
    EXPECT_TRUE(MouseBeyondThreshold(state, {500, 349}));
    EXPECT_FALSE(MouseBeyondThreshold(state, {540, 440}));  // diagonal travel is not summed
}

TEST(CloseRules, ZeroThresholdEndsOnAnyTravel) {
    const SaverState state = StateAt(10, 10, 0);
    EXPECT_FALSE(MouseBeyondThreshold(state, {10, 10}));
    EXPECT_TRUE(MouseBeyondThreshold(state, {11, 10}));
    EXPECT_TRUE(MouseBeyondThreshold(state, {10, 9}));
}

TEST(CloseRules, ThresholdIsInLogicalPixels) {
    // dpi, threshold, the farthest travel that stays
    const int32_t cases[][3] = {{96, 50, 50}, {144, 50, 75}, {120, 50, 62},
                                {192, 1, 2},  {144, 0, 0},   {72, 50, 37},
                                {0, 50, 50},  {-5, 50, 50},  {480, INT32_MAX, INT32_MAX}};
    for (const auto& c : cases) {
        SaverState state = StateAt(0, 0, c[1]);
        state.displayDpi = c[0];
        const int64_t stays = c[2];
        SCOPED_TRACE(testing::Message() << "dpi " << c[0] << ", threshold " << c[1]);
        if (stays < INT32_MAX) {
            EXPECT_FALSE(MouseBeyondThreshold(state, {static_cast<int32_t>(stays), 0}));
            EXPECT_TRUE(MouseBeyondThreshold(state, {0, static_cast<int32_t>(-stays - 1)}));
        } else {
            EXPECT_FALSE(MouseBeyondThreshold(state, {INT32_MAX, 0}));
        }
    }
}

TEST(CloseRules, NegativeThresholdAndFarCoordinatesDoNotOverflow) {
    EXPECT_TRUE(MouseBeyondThreshold(StateAt(0, 0, -1), {0, 0}));
    EXPECT_TRUE(MouseBeyondThreshold(StateAt(INT32_MIN, 0, INT32_MAX), {INT32_MAX, 0}));
}

TEST(CloseRules, GracePeriodIsUnsignedMilliseconds) {
    SaverState state;
    state.passwordDelay = 15;
    state.startTick = 1000;
    EXPECT_TRUE(WithinPasswordDelay(state, 1000));
    EXPECT_TRUE(WithinPasswordDelay(state, 16000));
    EXPECT_FALSE(WithinPasswordDelay(state, 16001));

    state.startTick = 0xFFFFF000u;  // the tick counter wraps during the period
    EXPECT_TRUE(WithinPasswordDelay(state, 0x00000100u));
    EXPECT_FALSE(WithinPasswordDelay(state, 0xFFFFF000u + 15001u));

    state.passwordDelay = 0;
    state.startTick = 50;
    EXPECT_TRUE(WithinPasswordDelay(state, 50));
    EXPECT_FALSE(WithinPasswordDelay(state, 51));

    state.passwordDelay = -1;  // as unsigned, a period of about 49 days
    EXPECT_TRUE(WithinPasswordDelay(state, 50 + 3600000u));
}

}  // namespace
