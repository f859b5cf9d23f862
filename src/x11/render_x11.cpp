#include "x11/render_x11.h"

#include "x11/draw_x11.h"
#include "x11/visual_x11.h"

namespace {

struct FrameTarget {
    Window window;
    GC gc;
    Pixmap drawing;
};

FrameTarget& TargetOf(DrawContext target) {
    return *static_cast<FrameTarget*>(target);
}

Pixmap PixmapOf(FrameBuffer buffer) {
    return static_cast<Pixmap>(reinterpret_cast<uintptr_t>(buffer));
}

}  // namespace

FrameBuffer MakeFrameBuffer(DrawContext target, int32_t width, int32_t height) {
    Pixmap pixmap =
        XCreatePixmap(g_x11.display, TargetOf(target).window, static_cast<unsigned>(width),
                      static_cast<unsigned>(height), static_cast<unsigned>(g_x11.depth));
    return reinterpret_cast<FrameBuffer>(static_cast<uintptr_t>(pixmap));
}

void FreeFrameBuffer(FrameBuffer buffer) {
    if (g_x11.display && buffer) {
        XFreePixmap(g_x11.display, PixmapOf(buffer));
    }
}

int32_t BeginFrameDrawing(DrawContext target, FrameBuffer buffer) {
    TargetOf(target).drawing = PixmapOf(buffer);
    return 1;
}

void EndFrameDrawing(DrawContext target) {
    TargetOf(target).drawing = 0;
}

void ClearFrameBuffer(DrawContext target, int32_t width, int32_t height) {
    FrameTarget& frame = TargetOf(target);
    XSetForeground(g_x11.display, frame.gc, X11BlackPixel());
    XFillRectangle(g_x11.display, frame.drawing, frame.gc, 0, 0, static_cast<unsigned>(width),
                   static_cast<unsigned>(height));
}

void CopyKeptFrame(DrawContext target, FrameBuffer kept, int32_t width, int32_t height) {
    FrameTarget& frame = TargetOf(target);
    XCopyArea(g_x11.display, PixmapOf(kept), frame.drawing, frame.gc, 0, 0,
              static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0);
}

void DrawFramePicture(DrawContext target, DibImage& image, int32_t x, int32_t y) {
    FrameTarget& frame = TargetOf(target);
    X11DrawTarget into = {frame.drawing, frame.gc};
    image.Draw(&into, x, y);
}

void PresentFrame(DrawContext target, int32_t width, int32_t height) {
    FrameTarget& frame = TargetOf(target);
    XCopyArea(g_x11.display, frame.drawing, frame.window, frame.gc, 0, 0,
              static_cast<unsigned>(width), static_cast<unsigned>(height), 0, 0);
    XFlush(g_x11.display);
}

void RenderX11Frame(ShowEngine& show, Window window, GC gc, int32_t width, int32_t height) {
    FrameTarget frame = {window, gc, 0};
    DrawShowFrame(show, &frame, width, height);
}

void RestoreX11Frame(const ShowEngine& show, Window window, GC gc) {
    if (!show.backBuffer) {
        return;
    }
    XCopyArea(g_x11.display, PixmapOf(show.backBuffer), window, gc, 0, 0,
              static_cast<unsigned>(show.backBufferWidth),
              static_cast<unsigned>(show.backBufferHeight), 0, 0);
    XFlush(g_x11.display);
}
