#pragma once
// The X11 side of the picture: the visual the show draws for, its colours, and the pixel
// upload (MIT-SHM where the server is local, plain requests otherwise).

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
    // Standalone windows may move to a private colormap when the shared one is full.
    bool mayUsePrivateColormap = false;
    bool privateColormap = false;
};

extern X11Visual g_x11;

// What DibImage::Draw draws into on X11 (its DrawContext).
struct X11DrawTarget {
    Drawable drawable;
    GC gc;
};

// Takes the visual, depth and colormap that the show draws with.
void UseX11Visual(Display* display, Visual* visual, int32_t depth, Colormap colormap,
                  bool mayUsePrivateColormap);
// Frees the colours, the private colormap and the upload buffers.
void ReleaseX11Display();
// Whether the shared-memory upload is in use (for the benchmark and tests).
bool X11SharedMemoryInUse();
