#include "show/show_engine.h"

#include <windows.h>

#include "app/trace.h"
#include "image/display.h"
#include "settings/settings.h"
#include "show/catalogue.h"

namespace {

// A new buffer of a collage starts from the kept frame of the old size: as much of it as fits,
// at the top left, over black.
void CopyKeptFrame(HDC bufferDc, HBITMAP kept, int32_t width, int32_t height) {
    HDC keptDc = CreateCompatibleDC(bufferDc);
    if (!keptDc) {
        return;
    }
    HGDIOBJ formerBitmap = SelectObject(keptDc, kept);
    if (paletteDisplay && showPalette) {
        SelectPalette(keptDc, static_cast<HPALETTE>(showPalette), TRUE);
    }
    BitBlt(bufferDc, 0, 0, width, height, keptDc, 0, 0, SRCCOPY);
    SelectObject(keptDc, formerBitmap);
    DeleteDC(keptDc);
}

void ComposeFrame(HWND window, HDC windowDc, HPALETTE* formerPalette, bool* paletteSelected) {
    ShowEngine& show = g_showEngine;
    int32_t width = show.clientWidth;
    int32_t height = show.clientHeight;
    if (width <= 0 || height <= 0) {
        // Nothing to show, but the picture still takes its place in the scattered sequence, so
        // that later pictures land where they would have.
        PlaceImage();
        return;
    }
    HBITMAP kept = static_cast<HBITMAP>(show.backBuffer);
    bool reuse = kept && show.backBufferWidth == width && show.backBufferHeight == height;
    HBITMAP bitmap = reuse ? kept : CreateCompatibleBitmap(windowDc, width, height);
    HDC bufferDc = bitmap ? CreateCompatibleDC(windowDc) : nullptr;
    if (!bufferDc) {
        // Without a buffer there is nothing sound to copy; the window keeps its frame.
        Trace("show: no back buffer");
        if (bitmap && bitmap != kept) {
            DeleteObject(bitmap);
        }
        PlaceImage();  // its place in the scattered sequence, as above
        return;
    }
    HGDIOBJ formerBitmap = SelectObject(bufferDc, bitmap);

    if (paletteDisplay && showPalette) {
        HPALETTE palette = static_cast<HPALETTE>(showPalette);
        *formerPalette = SelectPalette(windowDc, palette, TRUE);
        *paletteSelected = true;
        SelectPalette(bufferDc, palette, TRUE);
        RealizePalette(bufferDc);
        RealizePalette(windowDc);
    }

    bool startsBlack = FrameStartsBlack();
    if (startsBlack || !reuse) {
        ClearToBlack(window, bufferDc);
    }
    if (!startsBlack && kept && !reuse) {
        CopyKeptFrame(bufferDc, kept, show.backBufferWidth, show.backBufferHeight);
    }
    if (!reuse) {
        DropBackBuffer();
    }

    PlaceImage();
    show.image.Draw(bufferDc, show.imageX, show.imageY);
    PresentBackBuffer(windowDc, bufferDc, width, height);

    SelectObject(bufferDc, formerBitmap);
    DeleteDC(bufferDc);
    if (g_settings.mode != 0) {
        show.backBuffer = bitmap;
        show.backBufferWidth = width;
        show.backBufferHeight = height;
    } else {
        show.backBuffer = nullptr;
        DeleteObject(bitmap);
    }
}

}  // namespace

void RenderFrame(WindowHandle window, DrawContext context) {
    HWND hwnd = static_cast<HWND>(window);
    HDC windowDc = static_cast<HDC>(context);
    RECT client = {0, 0, 0, 0};
    GetClientRect(hwnd, &client);
    HPALETTE formerPalette = nullptr;
    bool paletteSelected = false;
    if (LoadFramePicture(client.right - client.left, client.bottom - client.top)) {
        ComposeFrame(hwnd, windowDc, &formerPalette, &paletteSelected);
    }
    AdvanceImage(g_settings.random);
    if (paletteSelected) {
        SelectPalette(windowDc, formerPalette, TRUE);
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

void DropBackBuffer() {
    ShowEngine& show = g_showEngine;
    if (show.backBuffer) {
        DeleteObject(static_cast<HBITMAP>(show.backBuffer));
    }
    show.backBuffer = nullptr;
    show.backBufferWidth = 0;
    show.backBufferHeight = 0;
}
