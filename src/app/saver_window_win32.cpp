#include <windows.h>
#include <cstring>
#include "app/close_rules.h"
#include "app/password.h"
#include "app/saver_state.h"
#include "app/saver_window.h"
#include "base/trace.h"
#include "image/stop_check.h"
#include "show/show_engine.h"

namespace {

constexpr const char* ClassName = "ScrClass";

bool FullScreen() {
    return g_saverMode == Saver;
}

// One WM_CLOSE however much input arrives before it is handled.
void RequestClose(SaverState& state) {
    if (state.closeRequested) {
        return;
    }
    state.closeRequested = 1;
    PostMessageA(static_cast<HWND>(state.window), WM_CLOSE, 0, 0);
}

// The cursor shows while the password is asked for; travel counts again from where it ends.
void BeginPasswordCheck(SaverState& state) {
    state.checkingPassword = 1;
    SendMessageA(static_cast<HWND>(state.window), WM_SETCURSOR, 0, 0);
}

void EndPasswordCheck(SaverState& state) {
    state.checkingPassword = 0;
    SendMessageA(static_cast<HWND>(state.window), WM_SETCURSOR, 0, 0);
    POINT cursor = {0, 0};
    GetCursorPos(&cursor);
    state.cursorBaseline = {cursor.x, cursor.y};
}

bool InputOn() {
    return FullScreen() && !g_saverState->checkingPassword;
}

// The dots per inch the cursor travels in: the system's, where Windows 10 can tell it (the
// program is DPI-aware, so travel comes in physical pixels), else the screen's logical ones.
int32_t ReadDisplayDpi() {
    using GetDpiForSystemProc = UINT(WINAPI*)();
    HMODULE user = GetModuleHandleA("user32.dll");
    FARPROC found = user ? GetProcAddress(user, "GetDpiForSystem") : nullptr;
    if (found) {
        GetDpiForSystemProc getDpiForSystem = nullptr;
        static_assert(sizeof getDpiForSystem == sizeof found, "function pointers");
        memcpy(&getDpiForSystem, &found, sizeof found);
        UINT dpi = getDpiForSystem();
        if (dpi > 0) {
            return static_cast<int32_t>(dpi);
        }
    }
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 0;
    if (screen) {
        ReleaseDC(nullptr, screen);
    }
    return dpi > 0 ? dpi : 96;
}

// Asked by the folder scan and the decoder while they work, so that input which will end the
// saver is answered now, not when they are done. Only queued input counts: the check must not
// dispatch messages in the middle of the work. The mouse message that a new window gets with
// the cursor still is no reason to stop, nor is travel within the threshold.
int32_t InputEndsSaver() {
    SaverState& state = *g_saverState;
    if (state.checkingPassword) {
        return 0;
    }
    if (state.closeRequested) {
        return 1;
    }
    const DWORD waiting = HIWORD(GetQueueStatus(QS_KEY | QS_MOUSEBUTTON | QS_MOUSEMOVE));
    if (waiting & (QS_KEY | QS_MOUSEBUTTON)) {
        return 1;
    }
    if (waiting & QS_MOUSEMOVE) {
        POINT cursor = {0, 0};
        GetCursorPos(&cursor);
        return MouseBeyondThreshold(state, {cursor.x, cursor.y}) ? 1 : 0;
    }
    return 0;
}

// Input closes the saver at once within the grace period; after it, only with the password.
LRESULT OnClose(HWND window) {
    SaverState& state = *g_saverState;
    if (!state.closeRequested || state.checkingPassword) {
        return 0;
    }
    Trace("WM_CLOSE: maybe we need a password");
    if (!WithinPasswordDelay(state, GetTickCount())) {
        BeginPasswordCheck(state);
        const int mayClose = VerifySaverPassword(window);
        state.closeRequested = 0;
        EndPasswordCheck(state);
        if (!mayClose) {
            Trace("WM_CLOSE: but failed password, so doing nothing");
            return 0;
        }
    }
    Trace("WM_CLOSE: doing a DestroyWindow");
    DestroyWindow(window);
    return 0;
}

LRESULT CALLBACK SaverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    SaverState& state = *g_saverState;
    switch (message) {
        case WM_CREATE: {
            Trace("WM_CREATE...");
            state.window = window;
            POINT cursor = {0, 0};
            GetCursorPos(&cursor);
            state.cursorBaseline = {cursor.x, cursor.y};
            state.startTick = GetTickCount();
            state.displayDpi = ReadDisplayDpi();
            break;
        }
        case WM_DESTROY:
            SetStopCheck(nullptr);
            StopShow(window);
            Trace("POSTQUITMESSAGE from WM_DESTROY!!");
            PostQuitMessage(0);
            break;
        case WM_ACTIVATE:
        case WM_ACTIVATEAPP:
        case WM_NCACTIVATE:
            if (InputOn() && LOWORD(wParam) == 0) {
                Trace("WM_ACTIVATE: about to inactive window, so sending close");
                RequestClose(state);
            }
            break;
        case WM_KEYDOWN:
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
            if (InputOn()) {
                Trace("WM_BUTTONDOWN: sending close");
                RequestClose(state);
            }
            break;
        case WM_MOUSEMOVE:
            if (InputOn()) {
                POINT cursor = {0, 0};
                GetCursorPos(&cursor);
                if (MouseBeyondThreshold(state, {cursor.x, cursor.y})) {
                    Trace("WM_MOUSEMOVE: gone beyond threshold, sending close");
                    RequestClose(state);
                }
            }
            break;
        case WM_SETCURSOR:
            if (InputOn()) {
                // Handled here: the default handling would put the arrow back whenever the
                // message does not come from the client area, as after the password prompt.
                SetCursor(nullptr);
                Trace(window, message, wParam, lParam);
                return TRUE;
            }
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
            break;
        case WM_SYSCOMMAND:
            if (FullScreen() && wParam == SC_SCREENSAVE) {
                Trace(
                    "WM_SYSCOMMAND: gobbling up a SC_SCREENSAVE to stop a new saver from "
                    "running.");
                return 0;
            }
            if (FullScreen() && wParam == SC_CLOSE) {
                Trace("WM_SYSCOMMAND: gobbling up a SC_CLOSE");
                return 0;
            }
            break;
        case WM_CLOSE:
            if (FullScreen()) {
                return OnClose(window);
            }
            break;
        case WM_TIMER:
            OnShowTimer(window, wParam);
            break;
        default:
            break;
    }
    Trace(window, message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateSaverWindow(HWND parent) {
    HINSTANCE instance = static_cast<HINSTANCE>(g_instance);
    if (FullScreen()) {
        return CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, ClassName, "SaverWindow",
                               WS_POPUP | WS_VISIBLE, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                               GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr, instance, nullptr);
    }
    RECT host = {0, 0, 0, 0};
    GetWindowRect(parent, &host);
    return CreateWindowExA(WS_EX_TOOLWINDOW, ClassName, "SaverPreview", WS_CHILD | WS_VISIBLE, 0, 0,
                           host.right - host.left, host.bottom - host.top, parent, nullptr,
                           instance, nullptr);
}

}  // namespace

void RunSaver(WindowHandle parent) {
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = SaverWindowProc;
    windowClass.hInstance = static_cast<HINSTANCE>(g_instance);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = ClassName;
    RegisterClassA(&windowClass);

    HWND window = CreateSaverWindow(static_cast<HWND>(parent));
    g_saverWindow = window;
    if (!window) {
        return;
    }
    BOOL formerlyRunning = FALSE;
    if (FullScreen()) {
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, TRUE, &formerlyRunning, 0);
        SetStopCheck(InputEndsSaver);
    }
    StartShow(window);

    // GetMessageA gives -1 on a broken queue: that ends the loop too, rather than spinning.
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
        MSG waiting;
        while (!PeekMessageA(&waiting, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnShowIdle(g_saverWindow)) {
                break;
            }
        }
    }

    if (FullScreen()) {
        SetStopCheck(nullptr);
        SystemParametersInfoA(SPI_SETSCREENSAVERRUNNING, FALSE, &formerlyRunning, 0);
    }
}
