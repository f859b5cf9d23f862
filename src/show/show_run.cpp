// A show's run in one window, the same for every front end: the start, the ticks, the stop.
#include "image/decoders/decode_runner.h"
#include "image/display.h"
#include "show/show_engine.h"

void BeginShow() {
    PrepareDisplay();
    BeginShowOrder();
}

void StartShowEngine(ShowEngine& show, WindowHandle window) {
    DropBackBuffer(show);
    show.tickCount = 0;
    show.firstFramePending = 1;
    OnShowTick(show, window);
}

void DrawPendingFrame(ShowEngine& show, WindowHandle window) {
    if (show.firstFramePending) {
        DrawWindowFrame(show, window);
        show.firstFramePending = 0;
    }
}

void OnShowTick(ShowEngine& show, WindowHandle window) {
    if (CountShowTick(show)) {
        DrawWindowFrame(show, window);
    }
}

void StopShowEngine(ShowEngine& show) {
    // A step after the window has gone must not draw into it.
    show.firstFramePending = 0;
    show.image.Release();
    DropBackBuffer(show);
}

void EndShow() {
    ReleaseDisplay();
    EndLibraryDecoder();
}
