#include "show/show_engine.h"

#include <windows.h>

#include "settings/settings.h"

ShowEngine g_showEngine;

void StartShow(WindowHandle window) {
    LoadSettings();
    BeginShow();
    SetTimer(static_cast<HWND>(window), ShowTimerId, ShowTickMs, nullptr);
    StartShowEngine(g_showEngine, window);
}

void OnShowTimer(WindowHandle window, uintptr_t /*timerId*/) {
    OnShowTick(g_showEngine, window);
}

int32_t OnShowIdle(WindowHandle window) {
    DrawPendingFrame(g_showEngine, window);
    return 0;
}

void StopShow(WindowHandle window) {
    KillTimer(static_cast<HWND>(window), ShowTimerId);
    StopShowEngine(g_showEngine);
    EndShow();
}
