#pragma once
// When input ends the full-screen saver: the arithmetic of the mouse threshold and of the
// password grace period, kept apart from the window so that any front end shares it.

#include <cstdint>
#include "app/saver_state.h"

// Travel is measured from the baseline on each axis by itself, so slow travel adds up. The
// threshold is in logical pixels: on a 150 % display it takes one and a half times the pixels.
bool MouseBeyondThreshold(const SaverState& state, ScreenPoint cursor);

// Within the grace period input closes the saver without a password. Both the elapsed time
// and the period are unsigned 32-bit milliseconds, so the tick counter's wrap is harmless.
bool WithinPasswordDelay(const SaverState& state, uint32_t nowTick);
