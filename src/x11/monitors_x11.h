#pragma once
// The monitors that the standalone saver covers, as the X server reports them.

#include <X11/Xlib.h>
#include "app/monitors.h"

// RandR 1.5, else Xinerama, else the whole screen; at least one.
int32_t ListMonitors(Display* display, int32_t screen, MonitorArea* areas);
