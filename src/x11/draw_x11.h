#pragma once
// Putting a picture's rows into an X11 drawable: packed for the visual, uploaded with MIT-SHM
// where the server is local, plain requests otherwise.

#include <X11/Xlib.h>
#include <cstdint>

// What DibImage::Draw draws into on X11 (its DrawContext).
struct X11DrawTarget {
    Drawable drawable;
    GC gc;
};

// Frees the upload buffers.
void ReleaseUpload();
// Whether the shared-memory upload is in use (for the benchmark and tests).
bool X11SharedMemoryInUse();
