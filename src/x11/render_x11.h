#pragma once
// Frames of a show window on X11: composed in a Pixmap, presented with one copy.

#include <X11/Xlib.h>
#include "show/show_engine.h"

// Draws the engine's next frame into the window at the given client size.
void RenderX11Frame(ShowEngine& show, Window window, GC gc, int32_t width, int32_t height);
// Puts the last presented frame back (after Expose); nothing before the first frame.
void RestoreX11Frame(const ShowEngine& show, Window window, GC gc);
