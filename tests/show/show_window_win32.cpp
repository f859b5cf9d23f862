#include "show/show_window_win32.h"

#include <cstdlib>
#include <cstring>

#include "show/show_engine.h"
#include "show/window_grab_win32.h"

namespace {

const char* const ClassName = "FotovaneShowTest";

LRESULT CALLBACK TestWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_TIMER:
            OnShowTimer(window, wParam);
            return 0;
        case WM_DESTROY:
            StopShow(window);
            return 0;
        default:
            return DefWindowProcA(window, message, wParam, lParam);
    }
}

void RegisterTestClass() {
    static bool registered = false;
    if (registered) {
        return;
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = TestWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = ClassName;
    RegisterClassA(&windowClass);
    registered = true;
}

}  // namespace

TestWindow::TestWindow(int w, int h) : width(w), height(h) {
    RegisterTestClass();
    window = CreateWindowExA(WS_EX_TOPMOST, ClassName, "ShowTest", WS_POPUP | WS_VISIBLE, 0, 0,
                             width, height, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    UpdateWindow(window);
    Pump(150);
}

TestWindow::~TestWindow() {
    DestroyWindow(window);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

void TestWindow::Resize(int newWidth, int newHeight) {
    width = newWidth;
    height = newHeight;
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOZORDER | SWP_NOMOVE);
    UpdateWindow(window);
    Pump(150);
}

void TestWindow::Pump(DWORD milliseconds) {
    DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < milliseconds) {
        bool dispatched = false;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
            dispatched = true;
        }
        if (dispatched) {
            OnShowIdle(window);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}

void TestWindow::Frame() {
    HDC context = GetDC(window);
    RenderFrame(window, context);
    ReleaseDC(window, context);
}

std::vector<uint32_t> TestWindow::Grab() const {
    return GrabClient(window, width, height);
}

void ExpectedCanvas::Fill(int x, int y, int w, int h, Colour colour) {
    for (int row = y < 0 ? 0 : y; row < y + h && row < height; ++row) {
        for (int column = x < 0 ? 0 : x; column < x + w && column < width; ++column) {
            pixels[row * width + column] = Packed(colour);
        }
    }
}

int ExpectedCanvas::Mismatches(const std::vector<uint32_t>& screen) const {
    int tolerance = ColourTolerance();
    int mismatches = 0;
    for (size_t i = 0; i < pixels.size() && i < screen.size(); ++i) {
        for (int shift = 0; shift < 24; shift += 8) {
            int want = static_cast<int>((pixels[i] >> shift) & 0xFF);
            int got = static_cast<int>((screen[i] >> shift) & 0xFF);
            if (std::abs(want - got) > tolerance) {
                ++mismatches;
                break;
            }
        }
    }
    return mismatches + static_cast<int>(pixels.size() != screen.size());
}

int ScreenDepth() {
    HDC screen = GetDC(nullptr);
    int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return depth;
}

int ColourTolerance() {
    return ScreenDepth() <= 16 ? 16 : 4;
}

uint32_t Packed(Colour colour) {
    return (static_cast<uint32_t>(colour.red) << 16) | (static_cast<uint32_t>(colour.green) << 8) |
           colour.blue;
}
