#include <windows.h>

#include <cstdlib>
#include <cstring>
#include "image/dib_image.h"
#include "image/display.h"

static_assert(sizeof(PALETTEENTRY) == sizeof(RGBQUAD), "palette entries copy into the table");

void DibImage::Draw(DrawContext context, int32_t x, int32_t y) {
    if (!AdaptToDisplay(*this)) {
        return;
    }
    HDC dc = static_cast<HDC>(context);
    if (header == nullptr) {
        MakeHeader();
        if (header == nullptr) {
            return;
        }
    }
    if (paletteDisplay) {
        BITMAPINFO* info = static_cast<BITMAPINFO*>(
            std::calloc(1, sizeof(BITMAPINFOHEADER) + 256 * sizeof(RGBQUAD)));
        if (info == nullptr) {
            return;
        }
        // Byte for byte: the palette's red lands in the table's blue, which is what the
        // quantizer's blue-first component order expects.
        HPALETTE palette = static_cast<HPALETTE>(GetCurrentObject(dc, OBJ_PAL));
        GetPaletteEntries(palette, 0, PaletteColours,
                          reinterpret_cast<PALETTEENTRY*>(info->bmiColors));
        std::memcpy(&info->bmiHeader, header, sizeof(BITMAPINFOHEADER));
        info->bmiHeader.biBitCount = 8;
        SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                          static_cast<UINT>(height), indexPixels, info, DIB_RGB_COLORS);
        std::free(info);
        return;
    }
    SetDIBitsToDevice(dc, x, y, static_cast<DWORD>(width), static_cast<DWORD>(height), 0, 0, 0,
                      static_cast<UINT>(height), pixels, reinterpret_cast<BITMAPINFO*>(header),
                      DIB_RGB_COLORS);
}
