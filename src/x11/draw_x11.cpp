#include "x11/draw_x11.h"

#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <cstdlib>
#include <cstring>
#include "base/trace.h"
#include "image/dib_image.h"
#include "image/display.h"
#include "x11/visual_x11.h"

namespace {

// The upload image, kept while pictures keep their size.
struct Upload {
    XImage* image = nullptr;
    XShmSegmentInfo shm = {};
    bool shared = false;
};

Upload g_upload;
bool g_shmTried = false;
bool g_shmUsable = false;
bool g_attachFailed = false;

int CatchAttachError(Display* /*display*/, XErrorEvent* /*event*/) {
    g_attachFailed = true;
    return 0;
}

bool HostIsLittleEndian() {
    const uint32_t one = 1;
    return *reinterpret_cast<const uint8_t*>(&one) == 1;
}

// Shared memory only helps, and only works, when the server runs on this machine.
bool ServerIsLocal(Display* display) {
    const char* name = DisplayString(display);
    return name && (name[0] == ':' || std::strncmp(name, "unix:", 5) == 0 || name[0] == '/');
}

void DropUpload() {
    Display* display = g_x11.display;
    if (!g_upload.image) {
        return;
    }
    if (g_upload.shared) {
        XShmDetach(display, &g_upload.shm);
        XSync(display, False);
        shmdt(g_upload.shm.shmaddr);
        g_upload.image->data = nullptr;
    }
    XDestroyImage(g_upload.image);
    g_upload = Upload();
}

XImage* MakeSharedImage(int32_t width, int32_t height) {
    Display* display = g_x11.display;
    XImage* image =
        XShmCreateImage(display, g_x11.visual, static_cast<unsigned>(g_x11.depth), ZPixmap, nullptr,
                        &g_upload.shm, static_cast<unsigned>(width), static_cast<unsigned>(height));
    if (!image) {
        return nullptr;
    }
    size_t bytes = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height);
    g_upload.shm.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (g_upload.shm.shmid < 0) {
        XDestroyImage(image);
        return nullptr;
    }
    void* address = shmat(g_upload.shm.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(g_upload.shm.shmid, IPC_RMID, nullptr);
        XDestroyImage(image);
        return nullptr;
    }
    g_upload.shm.shmaddr = image->data = static_cast<char*>(address);
    g_upload.shm.readOnly = True;
    XSync(display, False);
    g_attachFailed = false;
    XErrorHandler former = XSetErrorHandler(CatchAttachError);
    Status attached = XShmAttach(display, &g_upload.shm);
    XSync(display, False);
    XSetErrorHandler(former);
    // Marked for removal at once: the segment goes when both sides detach, even if we die.
    shmctl(g_upload.shm.shmid, IPC_RMID, nullptr);
    if (!attached || g_attachFailed) {
        shmdt(address);
        image->data = nullptr;
        XDestroyImage(image);
        g_shmUsable = false;
        return nullptr;
    }
    return image;
}

XImage* MakePlainImage(int32_t width, int32_t height) {
    Display* display = g_x11.display;
    XImage* image =
        XCreateImage(display, g_x11.visual, static_cast<unsigned>(g_x11.depth), ZPixmap, 0, nullptr,
                     static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (!image) {
        return nullptr;
    }
    // Rows are packed in host order; Xlib swaps them for a server of the other order.
    image->byte_order = HostIsLittleEndian() ? LSBFirst : MSBFirst;
    image->data = static_cast<char*>(
        std::malloc(static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height)));
    if (!image->data) {
        XDestroyImage(image);
        return nullptr;
    }
    return image;
}

XImage* UploadImage(int32_t width, int32_t height) {
    if (g_upload.image && g_upload.image->width == width && g_upload.image->height == height) {
        return g_upload.image;
    }
    DropUpload();
    if (!g_shmTried) {
        g_shmTried = true;
        g_shmUsable = XShmQueryExtension(g_x11.display) && ServerIsLocal(g_x11.display) &&
                      (ImageByteOrder(g_x11.display) == LSBFirst) == HostIsLittleEndian();
    }
    if (g_shmUsable) {
        g_upload.image = MakeSharedImage(width, height);
        g_upload.shared = g_upload.image != nullptr;
    }
    if (!g_upload.image) {
        g_upload.image = MakePlainImage(width, height);
    }
    return g_upload.image;
}

// Pixels narrower than a byte (monochrome and 4-bit screens): Xlib packs them one by one.
void PutPixelsSlowly(XImage* image, const DibImage& picture, size_t indexStride) {
    for (int32_t r = 0; r < picture.height; ++r) {
        const uint8_t* row = picture.pixels + static_cast<size_t>(r) * picture.stride;
        for (int32_t c = 0; c < picture.width; ++c) {
            unsigned long pixel;
            if (paletteDisplay) {
                pixel = g_x11.palettePixels[picture.indexPixels[r * indexStride + c]];
            } else {
                const uint8_t* bgr = row + 3 * c;
                pixel = PackChannel(bgr[2], g_x11.layout.red) |
                        PackChannel(bgr[1], g_x11.layout.green) |
                        PackChannel(bgr[0], g_x11.layout.blue) | g_x11.layout.opaqueBits;
            }
            XPutPixel(image, c, r, pixel);
        }
    }
}

}  // namespace

void ReleaseUpload() {
    if (g_x11.display) {
        DropUpload();
    }
}

bool X11SharedMemoryInUse() {
    return g_upload.shared;
}

void DibImage::Draw(DrawContext context, int32_t x, int32_t y) {
    if (!g_x11.display || !AdaptToDisplay(*this)) {
        return;
    }
    XImage* image = UploadImage(width, height);
    if (!image) {
        Trace("draw: no image for the upload");
        return;
    }
    const size_t indexStride = static_cast<size_t>(IndexStride(width));
    if (image->bits_per_pixel % 8 != 0) {
        PutPixelsSlowly(image, *this, indexStride);
    }
    const int32_t bytesPerPixel = image->bits_per_pixel / 8;
    for (int32_t r = 0; bytesPerPixel > 0 && r < height; ++r) {
        uint8_t* out = reinterpret_cast<uint8_t*>(image->data) +
                       static_cast<size_t>(r) * static_cast<size_t>(image->bytes_per_line);
        if (paletteDisplay) {
            PackIndexRow(indexPixels + static_cast<size_t>(r) * indexStride, width,
                         g_x11.palettePixels, bytesPerPixel, out);
        } else {
            PixelLayout layout = g_x11.layout;
            layout.bytesPerPixel = bytesPerPixel;
            PackRow(pixels + static_cast<size_t>(r) * static_cast<size_t>(stride), width, layout,
                    out);
        }
    }
    const X11DrawTarget& target = *static_cast<const X11DrawTarget*>(context);
    if (g_upload.shared) {
        XShmPutImage(g_x11.display, target.drawable, target.gc, image, 0, 0, x, y,
                     static_cast<unsigned>(width), static_cast<unsigned>(height), False);
        // The segment is written again by the next picture: the server must be done with it.
        XSync(g_x11.display, False);
    } else {
        XPutImage(g_x11.display, target.drawable, target.gc, image, 0, 0, x, y,
                  static_cast<unsigned>(width), static_cast<unsigned>(height));
    }
}
