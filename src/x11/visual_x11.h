#pragma once
// The visual the X11 show draws for and its colours: the palette's cells in the colormap (a
// private one where the shared one is full) and the one pixel value of black.

#include <X11/Xlib.h>
#include <cstdint>
#include "image/pixel_layout.h"

// Process-wide: every show window of one process shares a screen and so a visual.
struct X11Visual {
    Display* display = nullptr;
    Visual* visual = nullptr;
    int32_t depth = 0;
    int32_t visualClass = 0;
    Colormap colormap = 0;
    int32_t bitsPerPixel = 32;
    PixelLayout layout = {};
    // The show palette's pixel values in the colormap, and which of them we allocated.
    uint32_t palettePixels[256] = {};
    bool paletteAllocated[256] = {};
    bool paletteReady = false;
    // Standalone windows may move to a private colormap when the shared one is full.
    bool mayUsePrivateColormap = false;
    bool privateColormap = false;
};

extern X11Visual g_x11;

// Takes the visual, depth and colormap that the show draws with.
void UseX11Visual(Display* display, Visual* visual, int32_t depth, Colormap colormap,
                  bool mayUsePrivateColormap);
// Black in the show's visual and colormap, once the display is prepared.
unsigned long X11BlackPixel();
