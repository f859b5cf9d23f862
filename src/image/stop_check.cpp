#include "image/stop_check.h"

#include <chrono>

namespace {

using Clock = std::chrono::steady_clock;

StopCheck g_stopCheck = nullptr;
Clock::time_point g_lastPoll;
int32_t g_lastAnswer = 0;

}  // namespace

void SetStopCheck(StopCheck check) {
    g_stopCheck = check;
    g_lastPoll = Clock::time_point();
    g_lastAnswer = 0;
}

bool StopCheckInstalled() {
    return g_stopCheck != nullptr;
}

int32_t ShouldStop() {
    if (!g_stopCheck) {
        return 0;
    }
    Clock::time_point now = Clock::now();
    if (now - g_lastPoll >= std::chrono::milliseconds(StopPollMs)) {
        g_lastPoll = now;
        g_lastAnswer = g_stopCheck() ? 1 : 0;
    }
    return g_lastAnswer;
}
