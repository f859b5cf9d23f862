#include "show/show_engine.h"

#include <windows.h>

#include "image/display.h"
#include "settings/settings.h"

void StartShow(WindowHandle window) {
    LoadSettings();
    PrepareDisplay();
    BeginShowOrder();
    BeginShowEngine();
    SetTimer(static_cast<HWND>(window), ShowTimerId, ShowTickMs, nullptr);
    OnShowTimer(window, ShowTimerId);
}

void OnShowTimer(WindowHandle window, uintptr_t /*timerId*/) {
    if (!CountShowTick()) {
        return;
    }
    HWND hwnd = static_cast<HWND>(window);
    HDC context = GetDC(hwnd);
    RenderFrame(window, context);
    ReleaseDC(hwnd, context);
}

int32_t OnShowIdle(WindowHandle window) {
    ShowEngine& show = g_showEngine;
    if (show.firstFramePending) {
        HWND hwnd = static_cast<HWND>(window);
        HDC context = GetDC(hwnd);
        RenderFrame(window, context);
        ReleaseDC(hwnd, context);
        show.firstFramePending = 0;
    }
    return 0;
}

void StopShow(WindowHandle window) {
    KillTimer(static_cast<HWND>(window), ShowTimerId);
    // An idle step after the window has gone must not draw into it.
    g_showEngine.firstFramePending = 0;
    g_showEngine.image.Release();
    // The palette is built whatever the depth, so it goes whatever the depth.
    if (showPalette) {
        DeleteObject(static_cast<HPALETTE>(showPalette));
        showPalette = nullptr;
    }
    DropBackBuffer();
}
