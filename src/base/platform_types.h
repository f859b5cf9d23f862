#pragma once
// Handles that portable code passes through without looking inside. On Windows they are the
// USER/GDI handles themselves (HWND, HINSTANCE, HDC, HPALETTE); other front ends use their own.

#include <cstdint>

using WindowHandle = void*;
using ModuleHandle = void*;
using DrawContext = void*;
using PaletteHandle = void*;

// Every path buffer, pattern and catalogue entry holds this many bytes, NUL included.
constexpr int MaxPath = 260;

struct ScreenPoint {
    int32_t x;
    int32_t y;
};
