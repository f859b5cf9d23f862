#pragma once
// The saver's own window: full screen, or a child of the display settings' preview window.

#include "base/platform_types.h"

// Creates the window, starts the show and runs the message loop until the window goes.
// In the preview the parent is the host window; full screen it is ignored.
void RunSaver(WindowHandle parent);
