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

X11Visual g_x11;

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

void ReleasePaletteColours() {
    for (int32_t i = 0; i < 256; ++i) {
        if (g_x11.paletteAllocated[i]) {
            unsigned long pixel = g_x11.palettePixels[i];
            XFreeColors(g_x11.display, g_x11.colormap, &pixel, 1, 0);
            g_x11.paletteAllocated[i] = false;
        }
    }
}

// Tries every colour in the colormap; false when any could not be had.
bool AllocatePaletteColours(const ShowPaletteEntry* entries, bool* missing) {
    bool all = true;
    for (int32_t i = 0; i < PaletteColours; ++i) {
        RgbColour colour = PaletteColourOf(entries[i]);
        XColor want = {};
        want.red = static_cast<unsigned short>(colour.red * 257);
        want.green = static_cast<unsigned short>(colour.green * 257);
        want.blue = static_cast<unsigned short>(colour.blue * 257);
        want.flags = DoRed | DoGreen | DoBlue;
        missing[i] = !XAllocColor(g_x11.display, g_x11.colormap, &want);
        if (missing[i]) {
            all = false;
            continue;
        }
        g_x11.palettePixels[i] = static_cast<uint32_t>(want.pixel);
        g_x11.paletteAllocated[i] = true;
    }
    return all;
}

// Colours that could not be allocated take the nearest cell the colormap already has.
void FillMissingColours(const ShowPaletteEntry* entries, const bool* missing) {
    int32_t cells = g_x11.visual->map_entries;
    cells = cells > 256 ? 256 : cells < 1 ? 1 : cells;
    XColor defined[256];
    RgbColour available[256];
    for (int32_t i = 0; i < cells; ++i) {
        defined[i].pixel = static_cast<unsigned long>(i);
    }
    XQueryColors(g_x11.display, g_x11.colormap, defined, cells);
    for (int32_t i = 0; i < cells; ++i) {
        available[i] = RgbColour{static_cast<uint8_t>(defined[i].red >> 8),
                                 static_cast<uint8_t>(defined[i].green >> 8),
                                 static_cast<uint8_t>(defined[i].blue >> 8)};
    }
    for (int32_t i = 0; i < PaletteColours; ++i) {
        if (!missing[i]) {
            continue;
        }
        int32_t nearest = NearestColour(PaletteColourOf(entries[i]), available, cells);
        g_x11.palettePixels[i] = static_cast<uint32_t>(defined[nearest < 0 ? 0 : nearest].pixel);
    }
}

void PreparePalette() {
    ShowPaletteEntry entries[PaletteColours];
    if (!BuildShowPaletteEntries(entries)) {
        return;
    }
    ReleasePaletteColours();
    bool missing[PaletteColours];
    if (!AllocatePaletteColours(entries, missing) && g_x11.mayUsePrivateColormap &&
        !g_x11.privateColormap) {
        ReleasePaletteColours();
        Colormap own = XCreateColormap(g_x11.display, DefaultRootWindow(g_x11.display),
                                       g_x11.visual, AllocNone);
        if (own) {
            g_x11.colormap = own;
            g_x11.privateColormap = true;
        }
        AllocatePaletteColours(entries, missing);
    }
    FillMissingColours(entries, missing);
    showPalette = &g_x11;
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

void UseX11Visual(Display* display, Visual* visual, int32_t depth, Colormap colormap,
                  bool mayUsePrivateColormap) {
    g_x11.display = display;
    g_x11.visual = visual;
    g_x11.depth = depth;
    g_x11.visualClass = visual->c_class;
    g_x11.colormap = colormap;
    g_x11.mayUsePrivateColormap = mayUsePrivateColormap;
    g_x11.bitsPerPixel = depth > 16 ? 32 : depth > 8 ? 16 : 8;
    int count = 0;
    XPixmapFormatValues* formats = XListPixmapFormats(display, &count);
    for (int i = 0; formats && i < count; ++i) {
        if (formats[i].depth == depth) {
            g_x11.bitsPerPixel = formats[i].bits_per_pixel;
        }
    }
    if (formats) {
        XFree(formats);
    }
    g_x11.layout = LayoutOfMasks(static_cast<uint32_t>(visual->red_mask),
                                 static_cast<uint32_t>(visual->green_mask),
                                 static_cast<uint32_t>(visual->blue_mask), g_x11.bitsPerPixel);
    g_x11.layout.opaqueBits = OpaqueBits(depth, static_cast<uint32_t>(visual->red_mask),
                                         static_cast<uint32_t>(visual->green_mask),
                                         static_cast<uint32_t>(visual->blue_mask));
}

void PrepareDisplay() {
    bool direct = g_x11.visualClass == TrueColor;
    highColourDisplay = direct && (g_x11.depth == 15 || g_x11.depth == 16);
    BuildDitherTables();
    // Few-colour and colour-mapped visuals draw the palette's indices; XAllocColor finds the
    // nearest colour on the read-only kinds too. DirectColor counts as colour-mapped: its
    // channel ramps are whatever the colormap holds, so only allocated colours are sure.
    paletteDisplay = !direct || g_x11.depth <= 8;
    if (paletteDisplay) {
        PreparePalette();
    }
}

void ReleaseX11Display() {
    if (!g_x11.display) {
        return;
    }
    DropUpload();
    ReleasePaletteColours();
    if (g_x11.privateColormap) {
        XFreeColormap(g_x11.display, g_x11.colormap);
        g_x11.privateColormap = false;
    }
    showPalette = nullptr;
}

bool X11SharedMemoryInUse() {
    return g_upload.shared;
}

void DibImage::Draw(DrawContext context, int32_t x, int32_t y) {
    if (!loaded || pixels == nullptr || failed || !g_x11.display) {
        return;
    }
    if (paletteDisplay) {
        if (indexPixels == nullptr) {
            QuantizeToPalette();
        }
        if (indexPixels == nullptr) {
            return;
        }
    } else if (highColourDisplay && !dithered) {
        Dither();
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
