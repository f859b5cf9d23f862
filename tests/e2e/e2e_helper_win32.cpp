// A small Windows program that the end-to-end driver runs beside the saver: it reads what
// only a Windows process can see, and plays the other programs a saver meets.
//
//   running                     prints the system's "a screen saver runs" flag (0 or 1)
//   find                        prints the full-screen saver window, 0 if there is none
//   post-close                  posts WM_CLOSE to the saver window
//   syscommand                  sends SC_SCREENSAVE and SC_CLOSE, prints both results
//   control TITLE ID            prints the screen centre "x y" of a control of a dialog
//   sync X Y                    covers the screen with a window, prints "ready" and waits until
//                               X pointer motion over it has brought Windows' cursor to X, Y:
//                               Wine learns of pointer moves only over its own windows
//   where                       prints where Windows has the cursor
//   foreground                  shows a window of its own and takes the foreground
//   host W H MS SCR             starts "SCR /p <host>" in a WxH host window, checks the preview
//                               child, keeps it MS milliseconds, destroys the host and prints
//                               what it saw and the saver's exit code

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

HWND FindSaver() {
    return FindWindowA("ScrClass", "SaverWindow");
}

void Pump(DWORD milliseconds) {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

HWND MakeWindow(const char* title, DWORD style, int width, int height) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = "FotovaneE2eHelper";
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, windowClass.lpszClassName, title, style, 100, 100, width, height,
                           nullptr, nullptr, windowClass.hInstance, nullptr);
}

int Running() {
    BOOL running = FALSE;
    if (!SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0)) {
        std::printf("error\n");
        return 1;
    }
    std::printf("%d\n", running ? 1 : 0);
    return 0;
}

int Find() {
    std::printf("%lld\n", static_cast<long long>(reinterpret_cast<intptr_t>(FindSaver())));
    return 0;
}

int PostClose() {
    HWND saver = FindSaver();
    return saver && PostMessageA(saver, WM_CLOSE, 0, 0) ? 0 : 1;
}

int SysCommand() {
    HWND saver = FindSaver();
    if (!saver) {
        return 1;
    }
    DWORD_PTR screensave = 99;
    DWORD_PTR close = 99;
    SendMessageTimeoutA(saver, WM_SYSCOMMAND, SC_SCREENSAVE, 0, SMTO_ABORTIFHUNG, 5000,
                        &screensave);
    SendMessageTimeoutA(saver, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_ABORTIFHUNG, 5000, &close);
    std::printf("%llu %llu\n", static_cast<unsigned long long>(screensave),
                static_cast<unsigned long long>(close));
    return 0;
}

int Control(const char* title, int id) {
    HWND dialog = FindWindowA(nullptr, title);
    HWND control = dialog ? GetDlgItem(dialog, id) : nullptr;
    RECT rect = {0, 0, 0, 0};
    if (!control || !IsWindowVisible(control) || !GetWindowRect(control, &rect)) {
        return 1;
    }
    std::printf("%ld %ld\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    return 0;
}

int Sync(int x, int y) {
    HWND cover = MakeWindow("Cursor sync", WS_POPUP | WS_VISIBLE, 0, 0);
    SetWindowPos(cover, HWND_TOPMOST, 0, 0, GetSystemMetrics(SM_CXSCREEN),
                 GetSystemMetrics(SM_CYSCREEN), SWP_SHOWWINDOW);
    Pump(50);
    std::printf("ready\n");
    POINT point = {0, 0};
    const DWORD start = GetTickCount();
    do {
        Pump(10);
        GetCursorPos(&point);
    } while ((point.x != x || point.y != y) && GetTickCount() - start < 5000);
    DestroyWindow(cover);
    Pump(50);
    std::printf("%ld %ld\n", point.x, point.y);
    return point.x == x && point.y == y ? 0 : 1;
}

int Foreground() {
    HWND window = MakeWindow("Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 300, 200);
    if (!window) {
        return 1;
    }
    SetForegroundWindow(window);
    Pump(300);
    const bool ours = GetForegroundWindow() == window;
    DestroyWindow(window);
    std::printf("%s\n", ours ? "foreground" : "not-foreground");
    return 0;
}

// Waits for the child, checks that it fills the host and survives input, then destroys the
// host: the saver must end by itself.
int Host(int width, int height, DWORD keepMs, const char* program) {
    HWND host = MakeWindow("Preview host", WS_POPUP | WS_VISIBLE, width, height);
    if (!host) {
        return 1;
    }
    std::string line = std::string("\"") + program + "\" /p " +
                       std::to_string(static_cast<long long>(reinterpret_cast<intptr_t>(host)));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        std::printf("no-start\n");
        return 1;
    }
    HWND child = nullptr;
    for (int i = 0; i < 1000 && !child; ++i) {
        Pump(10);
        child = FindWindowExA(host, nullptr, "ScrClass", "SaverPreview");
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) {
            break;
        }
    }
    RECT rect = {0, 0, 0, 0};
    if (child) {
        GetClientRect(child, &rect);
        // Input reaches the child through the host's thread; the preview ignores all of it.
        PostMessageA(child, WM_KEYDOWN, 'A', 0);
        PostMessageA(child, WM_LBUTTONDOWN, 0, 0);
        PostMessageA(child, WM_ACTIVATE, WA_INACTIVE, 0);
        SetCursorPos(5, 5);
        PostMessageA(child, WM_MOUSEMOVE, 0, 0);
    }
    Pump(keepMs);
    BOOL running = TRUE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    const bool aliveWithHost = WaitForSingleObject(process.hProcess, 0) == WAIT_TIMEOUT;
    DestroyWindow(host);
    const DWORD start = GetTickCount();
    DWORD waited = WaitForSingleObject(process.hProcess, 0);
    while (waited == WAIT_TIMEOUT && GetTickCount() - start < 10000) {
        Pump(20);
        waited = WaitForSingleObject(process.hProcess, 0);
    }
    DWORD code = 259;
    if (waited == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 99);
    }
    std::printf("child=%d size=%ldx%ld alive-with-host=%d saver-running=%d exited=%d code=%lu\n",
                child ? 1 : 0, rect.right, rect.bottom, aliveWithHost ? 1 : 0, running ? 1 : 0,
                waited == WAIT_OBJECT_0 ? 1 : 0, code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "running") {
        return Running();
    }
    if (command == "find") {
        return Find();
    }
    if (command == "post-close") {
        return PostClose();
    }
    if (command == "syscommand") {
        return SysCommand();
    }
    if (command == "control" && argc == 4) {
        return Control(argv[2], std::atoi(argv[3]));
    }
    if (command == "where") {
        POINT point = {0, 0};
        GetCursorPos(&point);
        std::printf("%ld %ld\n", point.x, point.y);
        return 0;
    }
    if (command == "sync" && argc == 4) {
        return Sync(std::atoi(argv[2]), std::atoi(argv[3]));
    }
    if (command == "foreground") {
        return Foreground();
    }
    if (command == "host" && argc == 6) {
        return Host(std::atoi(argv[2]), std::atoi(argv[3]), std::strtoul(argv[4], nullptr, 10),
                    argv[5]);
    }
    std::fprintf(stderr,
                 "usage: e2e_helper "
                 "running|find|post-close|syscommand|control|sync|where|foreground|host\n");
    return 2;
}
