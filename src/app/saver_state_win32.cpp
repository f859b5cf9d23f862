#include <windows.h>
#include "app/saver_state.h"

void SaverState::RequestClose() {
    if (closeRequested) {
        return;
    }
    closeRequested = 1;
    PostMessageA(static_cast<HWND>(window), WM_CLOSE, 0, 0);
}

void SaverState::BeginPasswordCheck() {
    checkingPassword = 1;
    SendMessageA(static_cast<HWND>(window), WM_SETCURSOR, 0, 0);
}

void SaverState::EndPasswordCheck() {
    checkingPassword = 0;
    SendMessageA(static_cast<HWND>(window), WM_SETCURSOR, 0, 0);
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    cursorBaseline = {cursor.x, cursor.y};
}
