#pragma once
// Read-back of what a window shows, for tests that compare pixels.

#include <windows.h>

#include <cstdint>
#include <vector>

// The top-left width x height pixels of the window's client area as 0x00RRGGBB, rows top first,
// read through the window's own device context.
std::vector<uint32_t> GrabClient(HWND window, int width, int height);
