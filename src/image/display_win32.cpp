#include <windows.h>

#include <cstdlib>
#include <cstring>
#include "image/display.h"

static_assert(sizeof(ShowPaletteEntry) == sizeof(PALETTEENTRY), "same layout");

void PrepareDisplay() {
    HWND desktop = GetDesktopWindow();
    HDC dc = GetDC(desktop);
    int depth = GetDeviceCaps(dc, BITSPIXEL);
    ReleaseDC(desktop, dc);

    ChooseDisplayAdaptation(depth, depth > 8);

    ShowPaletteEntry entries[PaletteColours];
    if (!BuildShowPaletteEntries(entries)) {
        return;
    }
    LOGPALETTE* logical = static_cast<LOGPALETTE*>(
        std::calloc(1, sizeof(LOGPALETTE) + (PaletteColours - 1) * sizeof(PALETTEENTRY)));
    if (logical == nullptr) {
        return;
    }
    logical->palVersion = 0x300;
    logical->palNumEntries = PaletteColours;
    std::memcpy(logical->palPalEntry, entries, sizeof(entries));
    HPALETTE palette = CreatePalette(logical);
    SetPaletteEntries(palette, 0, PaletteColours, reinterpret_cast<PALETTEENTRY*>(entries));
    // A show started again without being stopped must not leave the earlier palette behind.
    if (showPalette) {
        DeleteObject(static_cast<HPALETTE>(showPalette));
    }
    showPalette = palette;
    std::free(logical);
}

void ReleaseDisplay() {
    // The palette is built whatever the depth, so it goes whatever the depth.
    if (showPalette) {
        DeleteObject(static_cast<HPALETTE>(showPalette));
        showPalette = nullptr;
    }
}
