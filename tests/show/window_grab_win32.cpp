#include "show/window_grab_win32.h"

#include <cstring>

std::vector<uint32_t> GrabClient(HWND window, int width, int height) {
    GdiFlush();
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC windowDc = GetDC(window);
    HBITMAP section = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memoryDc = CreateCompatibleDC(windowDc);
    HGDIOBJ former = SelectObject(memoryDc, section);
    BitBlt(memoryDc, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
    if (bits) {
        memcpy(pixels.data(), bits, pixels.size() * 4);
    }
    for (uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFFu;
    }
    SelectObject(memoryDc, former);
    DeleteDC(memoryDc);
    DeleteObject(section);
    ReleaseDC(window, windowDc);
    return pixels;
}
