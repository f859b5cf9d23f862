#include "base/trace.h"
#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/show_engine.h"

namespace {

void KeepOrFree(ShowEngine& show, FrameBuffer buffer, int32_t width, int32_t height) {
    if (g_settings.mode != 0 || show.keepsLastFrame) {
        show.backBuffer = buffer;
        show.backBufferWidth = width;
        show.backBufferHeight = height;
        return;
    }
    show.backBuffer = nullptr;
    show.backBufferWidth = 0;
    show.backBufferHeight = 0;
    FreeFrameBuffer(buffer);
}

void ComposeFrame(ShowEngine& show, DrawContext target) {
    int32_t width = show.clientWidth;
    int32_t height = show.clientHeight;
    if (width <= 0 || height <= 0) {
        // Nothing to show, but the picture still takes its place in the scattered sequence, so
        // that later pictures land where they would have.
        PlaceImage(show);
        return;
    }
    FrameBuffer kept = show.backBuffer;
    bool reuse = kept && show.backBufferWidth == width && show.backBufferHeight == height;
    FrameBuffer buffer = reuse ? kept : MakeFrameBuffer(target, width, height);
    if (!buffer || !BeginFrameDrawing(target, buffer)) {
        // Without a buffer there is nothing sound to copy; the window keeps its frame.
        Trace("show: no back buffer");
        if (buffer && buffer != kept) {
            FreeFrameBuffer(buffer);
        }
        PlaceImage(show);  // its place in the scattered sequence, as above
        return;
    }

    // A new buffer of a collage starts from the kept frame of the old size: as much of it as
    // fits, at the top left, over black.
    bool startsBlack = FrameStartsBlack(show);
    if (startsBlack || !reuse) {
        ClearFrameBuffer(target, width, height);
    }
    if (!startsBlack && kept && !reuse) {
        CopyKeptFrame(target, kept, show.backBufferWidth, show.backBufferHeight);
    }
    if (!reuse) {
        DropBackBuffer(show);
    }

    PlaceImage(show);
    DrawFramePicture(target, show.image, show.imageX, show.imageY);
    PresentFrame(target, width, height);
    EndFrameDrawing(target);
    KeepOrFree(show, buffer, width, height);
}

}  // namespace

void DrawShowFrame(ShowEngine& show, DrawContext target, int32_t clientWidth,
                   int32_t clientHeight) {
    if (LoadFramePicture(clientWidth, clientHeight, show)) {
        ComposeFrame(show, target);
    }
    AdvanceImage(g_settings.random);
}

void DropBackBuffer(ShowEngine& show) {
    if (show.backBuffer) {
        FreeFrameBuffer(show.backBuffer);
    }
    show.backBuffer = nullptr;
    show.backBufferWidth = 0;
    show.backBufferHeight = 0;
}
