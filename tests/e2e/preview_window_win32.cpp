// A stand-in for the display settings' preview: a window with a 152x112 screen in it, and the
// saver's preview running in that screen. Under Wine a child's drawing shows only when both
// windows belong to one process, so the preview runs here rather than in Fotovane.scr /p.
//
//   fotovane_preview [seconds]     ends by itself after the given time, else when closed

#include <windows.h>

#include <cstdlib>

#include "app/saver_state.h"
#include "app/saver_window.h"

namespace {

LRESULT CALLBACK FrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        // Destroying the host takes the preview with it, which ends its loop.
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND g_frame = nullptr;

void CALLBACK TimeUp(HWND, UINT, UINT_PTR, DWORD) {
    if (g_frame) {
        DestroyWindow(g_frame);
        g_frame = nullptr;
    }
}

HWND MakeWindow(const char* className, const char* title, DWORD style, int x, int y, int width,
                int height, HWND parent, int brush) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = parent ? DefWindowProcA : FrameProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(brush));
    windowClass.lpszClassName = className;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, className, title, style, x, y, width, height, parent, nullptr,
                           windowClass.hInstance, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
    g_instance = GetModuleHandleA(nullptr);
    g_saverMode = Preview;
    g_saverState = new SaverState();
    g_saverState->LoadSystemOptions();

    g_frame = MakeWindow("FotovanePreviewFrame", "Fotovane preview",
                         WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 336, 260, nullptr, GRAY_BRUSH);
    RECT client = {0, 0, 0, 0};
    GetClientRect(g_frame, &client);
    HWND screen =
        MakeWindow("FotovanePreviewScreen", "", WS_CHILD | WS_VISIBLE, (client.right - 152) / 2,
                   (client.bottom - 112) / 2, 152, 112, g_frame, BLACK_BRUSH);
    if (argc > 1) {
        SetTimer(nullptr, 0, static_cast<UINT>(std::atoi(argv[1])) * 1000u, TimeUp);
    }
    RunSaver(screen);

    delete g_saverState;
    g_saverState = nullptr;
    return 0;
}
