#pragma once
// The show: a one-second timer on the saver window, a picture every `delay` ticks, drawn through a
// back buffer that is sized, placed and cleared by the settings.
//
// Tick counting, layout, the decode-and-fit of a frame and the rules of its composition are
// portable; the timer, the drawing surfaces and the copy to the screen belong to the window
// system's front end.

#include <cstdint>
#include <cstdio>
#include "base/platform_types.h"
#include "image/decoders/decode_picture.h"
#include "image/dib_image.h"

constexpr uintptr_t ShowTimerId = 200;
constexpr uint32_t ShowTickMs = 1000;

struct ShowEngine {
    DibImage image;
    int32_t clientWidth = 0;
    int32_t clientHeight = 0;
    int32_t targetWidth = 0;
    int32_t targetHeight = 0;
    int32_t imageX = 0;
    int32_t imageY = 0;
    int32_t tickCount = 0;
    int32_t firstFramePending = 0;
    // The last composed frame, kept for collage frames to build on (a platform bitmap).
    void* backBuffer = nullptr;
    int32_t backBufferWidth = 0;
    int32_t backBufferHeight = 0;
    // Nonzero where the window system may ask for the last frame again (X11 Expose): slide-show
    // frames keep their buffer too.
    int32_t keepsLastFrame = 0;
};

// Portable steps. Each show window has its own engine; the catalogue is shared.

// A show starts once for all its windows: the display's adaptation and the catalogue's order
// (settings already loaded). Then each window's engine starts from a clean count and black, with
// its first frame pending; the start counts the timer's first tick, which draws at once where the
// delay is 0 or less. The first frame follows as soon as the window system is idle.
void BeginShow();
void StartShowEngine(ShowEngine& show, WindowHandle window);
void DrawPendingFrame(ShowEngine& show, WindowHandle window);
// One tick of the show's timer: every `delay`-th draws a frame.
void OnShowTick(ShowEngine& show, WindowHandle window);
// A window's show stops: nothing pending any more, the picture and the kept frame freed. Once
// every window's has stopped, EndShow frees what the display's adaptation holds.
void StopShowEngine(ShowEngine& show);
void EndShow();

// Builds and orders the catalogue from g_settings and names its first file.
void BeginShowOrder();
// Counts one tick; nonzero when this tick draws a frame.
int32_t CountShowTick(ShowEngine& show);
void ComputeTargetSize(ShowEngine& show);
void PlaceImage(ShowEngine& show);
// The picture of a frame for a box: decoded with the reduction towards the box, then fitted
// into it when larger, never enlarged. Nonzero from the decode when it gave a picture; kind
// names the decoder that read it.
int32_t DecodeForBox(DibImage& image, FILE* stream, int32_t boxWidth, int32_t boxHeight,
                     int32_t formats, PictureKind& kind);
void FitIntoBox(DibImage& image, int32_t boxWidth, int32_t boxHeight);
// Measures the client, decodes the current file and fits it into the box. Nonzero when a picture
// is ready to be composed; otherwise the frame leaves the window as it is.
int32_t LoadFramePicture(int32_t clientWidth, int32_t clientHeight, ShowEngine& show);
// Whether the back buffer starts black: the show's first frame, and every slide-show frame.
int32_t FrameStartsBlack(const ShowEngine& show);

// One frame for a client of the given size: load the current picture, compose it over what the
// settings keep, present it, step the catalogue. `target` is the front end's drawing state,
// handed back to the primitives below.
void DrawShowFrame(ShowEngine& show, DrawContext target, int32_t clientWidth, int32_t clientHeight);
// Frees the kept back buffer, if any.
void DropBackBuffer(ShowEngine& show);

// Draws the engine's next frame into its window now (front end: render_win32.cpp,
// show_windows_x11.cpp).
void DrawWindowFrame(ShowEngine& show, WindowHandle window);

// Frame primitives of the front end (render_win32.cpp, render_x11.cpp). A frame buffer is the
// platform's off-screen image; null when it could not be made.
using FrameBuffer = void*;
FrameBuffer MakeFrameBuffer(DrawContext target, int32_t width, int32_t height);
void FreeFrameBuffer(FrameBuffer buffer);
// Makes the buffer the one the next calls draw into; zero when it cannot be drawn into.
int32_t BeginFrameDrawing(DrawContext target, FrameBuffer buffer);
void EndFrameDrawing(DrawContext target);
void ClearFrameBuffer(DrawContext target, int32_t width, int32_t height);
// Copies the top-left width x height of another buffer to the top left of the drawing buffer.
void CopyKeptFrame(DrawContext target, FrameBuffer kept, int32_t width, int32_t height);
void DrawFramePicture(DrawContext target, DibImage& image, int32_t x, int32_t y);
void PresentFrame(DrawContext target, int32_t width, int32_t height);

// The Windows saver: one show, in the saver window (show_engine_win32.cpp, render_win32.cpp).

extern ShowEngine g_showEngine;

void StartShow(WindowHandle window);
void OnShowTimer(WindowHandle window, uintptr_t timerId);
int32_t OnShowIdle(WindowHandle window);
void StopShow(WindowHandle window);
void RenderFrame(WindowHandle window, DrawContext context);
void RenderFrame(ShowEngine& show, WindowHandle window, DrawContext context);
void PresentBackBuffer(DrawContext windowContext, DrawContext bufferContext, int32_t width,
                       int32_t height);
void ClearToBlack(WindowHandle window, DrawContext context);
