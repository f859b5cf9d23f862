// Drawing at whatever depth the screen has: run once per depth (24, 16 and 8). Pixels are read
// back from a bitmap compatible with the screen, which is what the show draws into.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>
#include "image/dib_image.h"
#include "image/display.h"
#include "test_jpeg.h"

namespace {
int ScreenDepth() {
    HDC screen = GetDC(nullptr);
    int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    return depth;
}

int Pattern(int x, int y, int c) {
    return (x * 37 + y * 11 + c * 85 + (x ^ y) * 5) & 255;
}

// A screen-compatible bitmap in a memory context, cleared to one colour.
struct BackBuffer {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap;
    HGDIOBJ old;
    int width, height;
    BackBuffer(int w, int h, COLORREF fill) : width(w), height(h) {
        bitmap = CreateCompatibleBitmap(screen, w, h);
        old = SelectObject(dc, bitmap);
        HBRUSH brush = CreateSolidBrush(fill);
        RECT all = {0, 0, w, h};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
    }
    ~BackBuffer() {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
    }
    // Top-down rows of 32-bit blue, green, red, unused.
    std::vector<uint8_t> Read() {
        std::vector<uint8_t> out(static_cast<size_t>(width) * height * 4);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        SelectObject(dc, old);
        GetDIBits(dc, bitmap, 0, height, out.data(), &info, DIB_RGB_COLORS);
        SelectObject(dc, bitmap);
        return out;
    }
};
}  // namespace

TEST(DrawWin32, PrepareDisplayFollowsTheScreenDepth) {
    const int depth = ScreenDepth();
    RecordProperty("depth", depth);
    std::printf("screen depth %d\n", depth);
    PrepareDisplay();
    EXPECT_EQ(highColourDisplay != 0, depth == 15 || depth == 16);
    EXPECT_EQ(paletteDisplay != 0, depth <= 8);
    EXPECT_EQ(ditherBlue[0], -4);
    ASSERT_NE(showPalette, nullptr);
    PALETTEENTRY entries[PaletteColours];
    ASSERT_EQ(GetPaletteEntries(static_cast<HPALETTE>(showPalette), 0, PaletteColours, entries),
              static_cast<UINT>(PaletteColours));
    ShowPaletteEntry expected[PaletteColours];
    ASSERT_TRUE(BuildShowPaletteEntries(expected));
    EXPECT_EQ(std::memcmp(entries, expected, sizeof(entries)), 0);
    DeleteObject(static_cast<HPALETTE>(showPalette));
    showPalette = nullptr;
}

TEST(DrawWin32, PreparingAgainReplacesThePaletteWithoutLeakingIt) {
    PrepareDisplay();
    HGDIOBJ first = static_cast<HGDIOBJ>(showPalette);
    ASSERT_EQ(GetObjectType(first), static_cast<DWORD>(OBJ_PAL));
    PrepareDisplay();
    ASSERT_NE(showPalette, nullptr);
    EXPECT_NE(static_cast<HGDIOBJ>(showPalette), first);
    EXPECT_EQ(GetObjectType(first), 0u);
    DeleteObject(static_cast<HPALETTE>(showPalette));
    showPalette = nullptr;
}

TEST(DrawWin32, EmptyOrFailedPictureLeavesTheContextAlone) {
    PrepareDisplay();
    BackBuffer buffer(16, 16, RGB(10, 20, 30));
    std::vector<uint8_t> before = buffer.Read();
    DibImage image;
    image.Draw(buffer.dc, 0, 0);
    FillImage(image, 8, 8, Pattern);
    image.MakeHeader();
    image.failed = 1;
    image.Draw(buffer.dc, 0, 0);
    EXPECT_EQ(buffer.Read(), before);
    DeleteObject(static_cast<HPALETTE>(showPalette));
    showPalette = nullptr;
}

TEST(DrawWin32, TrueAndHighColourScreensShowThePixels) {
    const int depth = ScreenDepth();
    if (depth <= 8) {
        GTEST_SKIP() << "palette screen";
    }
    PrepareDisplay();
    DibImage image;
    FillImage(image, 37, 21, Pattern);
    image.MakeHeader();
    DibImage reference;
    FillImage(reference, 37, 21, Pattern);
    if (depth <= 16) {
        reference.Dither();
    }
    BackBuffer buffer(64, 48, RGB(0, 0, 0));
    image.Draw(buffer.dc, 5, 7);
    image.Draw(buffer.dc, 5, 7);  // a second draw must not dither again
    EXPECT_EQ(image.dithered != 0, depth <= 16);
    std::vector<uint8_t> shown = buffer.Read();
    // A 15/16-bit screen keeps the top five bits of each channel.
    const int shift = depth <= 16 ? 3 : 0;
    long bad = 0;
    for (int y = 0; y < 21; ++y)
        for (int x = 0; x < 37; ++x)
            for (int c = 0; c < 3; ++c) {
                int got = shown[((y + 7) * 64 + x + 5) * 4 + c];
                bad += (got >> shift) != (PixelAt(reference, x, y)[c] >> shift);
            }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(shown[(6 * 64 + 5) * 4], 0);  // nothing above the picture
    for (int y = 0; y < 21; ++y)
        ASSERT_EQ(std::memcmp(PixelAt(image, 0, y), PixelAt(reference, 0, y), 37 * 3), 0);
    DeleteObject(static_cast<HPALETTE>(showPalette));
    showPalette = nullptr;
}

TEST(DrawWin32, PaletteScreensDrawIndicesThroughTheSelectedPalette) {
    if (ScreenDepth() > 8) {
        GTEST_SKIP() << "not a palette screen";
    }
    PrepareDisplay();
    ASSERT_TRUE(paletteDisplay);
    // An 8-bit section whose colour table is the one Draw builds: every index lands as itself.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[256];
    } info = {};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = 48;
    info.header.biHeight = -32;
    info.header.biPlanes = 1;
    info.header.biBitCount = 8;
    GetPaletteEntries(static_cast<HPALETTE>(showPalette), 0, PaletteColours,
                      reinterpret_cast<PALETTEENTRY*>(info.colours));
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                       &bits, nullptr, 0);
    ASSERT_NE(section, nullptr);
    HGDIOBJ oldBitmap = SelectObject(dc, section);
    HPALETTE oldPalette = SelectPalette(dc, static_cast<HPALETTE>(showPalette), FALSE);
    RealizePalette(dc);
    std::memset(bits, 255, 48 * 32);
    GdiFlush();

    DibImage image;
    FillImage(image, 61, 40, Pattern);
    image.Scale(30, 30, ScaleTypeFit);
    ASSERT_EQ(image.width, 30);
    ASSERT_EQ(image.height, 20);  // halved once to 30 x 20
    image.Draw(dc, 2, 3);
    GdiFlush();
    ASSERT_NE(image.indexPixels, nullptr);
    const uint8_t* shown = static_cast<const uint8_t*>(bits);
    long bad = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            bad +=
                shown[(y + 3) * 48 + x + 2] != image.indexPixels[y * IndexStride(image.width) + x];
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(shown[2 * 48 + 2], 255);

    image.Scale(15, 15, ScaleTypeFit);  // a later draw rebuilds the indices
    EXPECT_EQ(image.indexPixels, nullptr);
    image.Draw(dc, 0, 0);
    EXPECT_NE(image.indexPixels, nullptr);

    SelectPalette(dc, oldPalette, FALSE);
    SelectObject(dc, oldBitmap);
    DeleteObject(section);
    DeleteDC(dc);
    DeleteObject(static_cast<HPALETTE>(showPalette));
    showPalette = nullptr;
}
