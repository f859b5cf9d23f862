#include "show/show_engine.h"

#include <windows.h>

#include "image/display.h"

namespace {

// The drawing state of one frame: the window, its context, and the back buffer's own context
// while a frame is drawn into it.
struct FrameTarget {
    HWND window;
    HDC windowDc;
    HDC bufferDc;
    HGDIOBJ formerBitmap;
    HPALETTE formerPalette;
    bool paletteSelected;
};

FrameTarget& TargetOf(DrawContext target) {
    return *static_cast<FrameTarget*>(target);
}

}  // namespace

FrameBuffer MakeFrameBuffer(DrawContext target, int32_t width, int32_t height) {
    return CreateCompatibleBitmap(TargetOf(target).windowDc, width, height);
}

void FreeFrameBuffer(FrameBuffer buffer) {
    DeleteObject(static_cast<HBITMAP>(buffer));
}

int32_t BeginFrameDrawing(DrawContext target, FrameBuffer buffer) {
    FrameTarget& frame = TargetOf(target);
    frame.bufferDc = CreateCompatibleDC(frame.windowDc);
    if (!frame.bufferDc) {
        return 0;
    }
    frame.formerBitmap = SelectObject(frame.bufferDc, static_cast<HBITMAP>(buffer));
    if (paletteDisplay && showPalette) {
        HPALETTE palette = static_cast<HPALETTE>(showPalette);
        frame.formerPalette = SelectPalette(frame.windowDc, palette, TRUE);
        frame.paletteSelected = true;
        SelectPalette(frame.bufferDc, palette, TRUE);
        RealizePalette(frame.bufferDc);
        RealizePalette(frame.windowDc);
    }
    return 1;
}

void EndFrameDrawing(DrawContext target) {
    FrameTarget& frame = TargetOf(target);
    SelectObject(frame.bufferDc, frame.formerBitmap);
    DeleteDC(frame.bufferDc);
    frame.bufferDc = nullptr;
}

void ClearFrameBuffer(DrawContext target, int32_t /*width*/, int32_t /*height*/) {
    FrameTarget& frame = TargetOf(target);
    ClearToBlack(frame.window, frame.bufferDc);
}

void CopyKeptFrame(DrawContext target, FrameBuffer kept, int32_t width, int32_t height) {
    HDC bufferDc = TargetOf(target).bufferDc;
    HDC keptDc = CreateCompatibleDC(bufferDc);
    if (!keptDc) {
        return;
    }
    HGDIOBJ formerBitmap = SelectObject(keptDc, static_cast<HBITMAP>(kept));
    if (paletteDisplay && showPalette) {
        SelectPalette(keptDc, static_cast<HPALETTE>(showPalette), TRUE);
    }
    BitBlt(bufferDc, 0, 0, width, height, keptDc, 0, 0, SRCCOPY);
    SelectObject(keptDc, formerBitmap);
    DeleteDC(keptDc);
}

void DrawFramePicture(DrawContext target, DibImage& image, int32_t x, int32_t y) {
    image.Draw(TargetOf(target).bufferDc, x, y);
}

void PresentFrame(DrawContext target, int32_t width, int32_t height) {
    FrameTarget& frame = TargetOf(target);
    PresentBackBuffer(frame.windowDc, frame.bufferDc, width, height);
}

void DrawWindowFrame(ShowEngine& show, WindowHandle window) {
    HWND hwnd = static_cast<HWND>(window);
    HDC context = GetDC(hwnd);
    RenderFrame(show, window, context);
    ReleaseDC(hwnd, context);
}

void RenderFrame(WindowHandle window, DrawContext context) {
    RenderFrame(g_showEngine, window, context);
}

void RenderFrame(ShowEngine& show, WindowHandle window, DrawContext context) {
    FrameTarget frame = {
        static_cast<HWND>(window), static_cast<HDC>(context), nullptr, nullptr, nullptr, false};
    RECT client = {0, 0, 0, 0};
    GetClientRect(frame.window, &client);
    DrawShowFrame(show, &frame, client.right - client.left, client.bottom - client.top);
    if (frame.paletteSelected) {
        SelectPalette(frame.windowDc, frame.formerPalette, TRUE);
    }
}

void PresentBackBuffer(DrawContext windowContext, DrawContext bufferContext, int32_t width,
                       int32_t height) {
    BitBlt(static_cast<HDC>(windowContext), 0, 0, width, height, static_cast<HDC>(bufferContext), 0,
           0, SRCCOPY);
}

void ClearToBlack(WindowHandle window, DrawContext context) {
    RECT client = {0, 0, 0, 0};
    GetClientRect(static_cast<HWND>(window), &client);
    HBRUSH black = CreateSolidBrush(RGB(0, 0, 0));
    FillRect(static_cast<HDC>(context), &client, black);
    DeleteObject(black);
}
