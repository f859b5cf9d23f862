#include "app/close_rules.h"

bool MouseBeyondThreshold(const SaverState& state, ScreenPoint cursor) {
    const int64_t dx = static_cast<int64_t>(cursor.x) - state.cursorBaseline.x;
    const int64_t dy = static_cast<int64_t>(cursor.y) - state.cursorBaseline.y;
    const int64_t dpi = state.displayDpi > 0 ? state.displayDpi : 96;
    const int64_t threshold = static_cast<int64_t>(state.mouseThreshold) * dpi / 96;
    return (dx < 0 ? -dx : dx) > threshold || (dy < 0 ? -dy : dy) > threshold;
}

bool WithinPasswordDelay(const SaverState& state, uint32_t nowTick) {
    const uint32_t elapsed = nowTick - state.startTick;
    const uint32_t delay = static_cast<uint32_t>(state.passwordDelay) * 1000u;
    return elapsed <= delay;
}
