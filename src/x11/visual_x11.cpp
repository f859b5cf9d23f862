#include "x11/visual_x11.h"

#include <X11/Xutil.h>
#include "image/display.h"
#include "x11/draw_x11.h"

X11Visual g_x11;

namespace {

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
    g_x11.paletteReady = true;
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
    // Few-colour and colour-mapped visuals draw the palette's indices; XAllocColor finds the
    // nearest colour on the read-only kinds too. DirectColor counts as colour-mapped: its
    // channel ramps are whatever the colormap holds, so only allocated colours are sure.
    ChooseDisplayAdaptation(g_x11.depth, g_x11.visualClass == TrueColor);
    if (paletteDisplay) {
        PreparePalette();
    }
}

void ReleaseDisplay() {
    if (!g_x11.display) {
        return;
    }
    ReleaseUpload();
    ReleasePaletteColours();
    g_x11.paletteReady = false;
    if (g_x11.privateColormap) {
        XFreeColormap(g_x11.display, g_x11.colormap);
        g_x11.privateColormap = false;
    }
}

unsigned long X11BlackPixel() {
    // The palette ends in black, allocated in the windows' own colormap.
    if (paletteDisplay) {
        return g_x11.paletteReady ? g_x11.palettePixels[PaletteColours - 1] : 0;
    }
    return g_x11.layout.opaqueBits;
}
