#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/display.h"
#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/show_engine.h"
#include "show/show_random.h"
#include "show/show_window_win32.h"
#include "show/test_folder.h"
#include "show/test_pictures.h"

namespace {

const Colour Red = {220, 40, 40};
const Colour Green = {40, 200, 60};
const Colour Blue = {50, 60, 210};
const Colour Yellow = {230, 220, 50};

bool Near(uint32_t pixel, Colour colour) {
    int tolerance = ColourTolerance();
    return std::abs(static_cast<int>(pixel >> 16 & 0xFF) - colour.red) <= tolerance &&
           std::abs(static_cast<int>(pixel >> 8 & 0xFF) - colour.green) <= tolerance &&
           std::abs(static_cast<int>(pixel & 0xFF) - colour.blue) <= tolerance;
}

class ShowRendering : public ::testing::Test {
  protected:
    void SetUp() override {
        if (ScreenDepth() <= 8) {
            GTEST_SKIP() << "pixels on palette displays are checked through the palette calls";
        }
        g_settings = SaverSettings{};
        PrepareDisplay();
    }

    std::string Picture(const std::string& name, int width, int height, Colour colour) {
        std::string path = folder.PathOf(name);
        WriteSolidJpeg(path, width, height, colour);
        return path;
    }

    // The show's order over these paths, first one current.
    void Order(const std::vector<std::string>& paths) {
        g_catalogue.count = 0;
        for (const std::string& path : paths) {
            strcpy(g_catalogue.paths[g_catalogue.count++], path.c_str());
        }
        g_catalogue.orderPosition = -1;
        AdvanceImage(0);
    }

    void FirstFrame(TestWindow& window) {
        g_showEngine.firstFramePending = 1;
        OnShowIdle(window.Handle());
        ASSERT_EQ(g_showEngine.firstFramePending, 0);
    }

    // Adds the picture of the frame just drawn to the model.
    void Drawn(ExpectedCanvas& canvas, Colour colour) {
        canvas.Fill(g_showEngine.imageX, g_showEngine.imageY, g_showEngine.image.width,
                    g_showEngine.image.height, colour);
    }

    TestFolder folder;
};

TEST_F(ShowRendering, SlideShowShowsOnePictureOnBlack) {
    TestWindow window(1024, 768);
    g_settings.size = 1;
    Order({Picture("big.jpg", 2048, 1536, Red), Picture("small.jpg", 320, 240, Green)});

    FirstFrame(window);
    EXPECT_EQ(g_showEngine.image.width, 768);
    EXPECT_EQ(g_showEngine.image.height, 576);
    ExpectedCanvas first(1024, 768);
    first.Fill(128, 96, 768, 576, Red);
    EXPECT_EQ(first.Mismatches(window.Grab()), 0);

    window.Frame();
    EXPECT_EQ(g_showEngine.imageX, 352);
    EXPECT_EQ(g_showEngine.imageY, 264);
    ExpectedCanvas second(1024, 768);
    second.Fill(352, 264, 320, 240, Green);
    EXPECT_EQ(second.Mismatches(window.Grab()), 0);
    EXPECT_EQ(g_showEngine.backBuffer, nullptr);
}

TEST_F(ShowRendering, CollageKeepsEarlierPicturesVisible) {
    std::vector<std::string> paths = {
        Picture("a.jpg", 200, 150, Red), Picture("b.jpg", 120, 90, Green),
        Picture("c.jpg", 80, 60, Blue), Picture("d.jpg", 150, 40, Yellow),
        Picture("e.jpg", 60, 140, Green)};
    const Colour colours[] = {Red, Green, Blue, Yellow, Green};
    for (int32_t position : {0, 1}) {
        TestWindow window(400, 300);
        // What the window showed before the show must not come back.
        HDC dc = GetDC(window.Handle());
        RECT all = {0, 0, 400, 300};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        ReleaseDC(window.Handle(), dc);

        g_settings.mode = 1;
        g_settings.size = 2;
        g_settings.position = position;
        g_showRandom.Seed(1);
        Order(paths);
        ExpectedCanvas canvas(400, 300);
        FirstFrame(window);
        Drawn(canvas, colours[0]);
        EXPECT_EQ(canvas.Mismatches(window.Grab()), 0) << "position " << position;
        for (int frame = 1; frame < 5; ++frame) {
            window.Frame();
            Drawn(canvas, colours[frame]);
            EXPECT_EQ(canvas.Mismatches(window.Grab()), 0)
                << "position " << position << " frame " << frame;
        }
        EXPECT_NE(g_showEngine.backBuffer, nullptr);
    }
}

TEST_F(ShowRendering, OnlyPicturesLargerThanTheBoxAreScaled) {
    TestWindow window(400, 300);
    g_settings.size = 0;
    Order({Picture("exact.jpg", 400, 300, Blue), Picture("wider.jpg", 401, 300, Yellow)});

    FirstFrame(window);
    EXPECT_EQ(g_showEngine.image.width, 400);
    EXPECT_EQ(g_showEngine.image.height, 300);
    ExpectedCanvas exact(400, 300);
    exact.Fill(0, 0, 400, 300, Blue);
    EXPECT_EQ(exact.Mismatches(window.Grab()), 0);

    window.Frame();
    EXPECT_EQ(g_showEngine.image.width, 400);
    EXPECT_EQ(g_showEngine.image.height, 299);
    ExpectedCanvas wider(400, 300);
    Drawn(wider, Yellow);
    EXPECT_EQ(wider.Mismatches(window.Grab()), 0);
}

TEST_F(ShowRendering, UnusableFileLeavesTheWindowAsItWas) {
    std::string red = Picture("red.jpg", 200, 150, Red);
    std::string broken = folder.PathOf("broken.jpg");
    WriteBrokenJpeg(broken);
    std::string missing = folder.PathOf("missing.jpg");
    std::string green = Picture("green.jpg", 100, 80, Green);

    for (int32_t mode : {0, 1}) {
        TestWindow window(400, 300);
        g_settings.mode = mode;
        g_settings.size = 2;
        Order({red, broken, missing, green});
        FirstFrame(window);
        std::vector<uint32_t> shown = window.Grab();

        window.Frame();
        EXPECT_EQ(window.Grab(), shown) << "broken file, mode " << mode;
        EXPECT_EQ(g_catalogue.orderPosition, 2);
        window.Frame();
        EXPECT_EQ(window.Grab(), shown) << "missing file, mode " << mode;
        EXPECT_EQ(g_catalogue.orderPosition, 3);

        window.Frame();
        ExpectedCanvas canvas(400, 300);
        if (mode != 0) {
            canvas.Fill(100, 75, 200, 150, Red);
        }
        canvas.Fill(150, 110, 100, 80, Green);
        EXPECT_EQ(canvas.Mismatches(window.Grab()), 0) << "mode " << mode;
        EXPECT_EQ(g_catalogue.orderPosition, 0);
    }
}

TEST_F(ShowRendering, CollageAfterAResizeStartsFromTheKeptFrame) {
    TestWindow window(400, 300);
    g_settings.mode = 1;
    g_settings.size = 2;
    Order({Picture("red.jpg", 200, 150, Red), Picture("green.jpg", 50, 40, Green),
           Picture("blue.jpg", 30, 20, Blue)});
    ExpectedCanvas canvas(400, 300);
    FirstFrame(window);
    Drawn(canvas, Red);

    window.Resize(500, 360);
    window.Frame();
    EXPECT_EQ(g_showEngine.backBufferWidth, 500);
    EXPECT_EQ(g_showEngine.backBufferHeight, 360);
    ExpectedCanvas grown(500, 360);
    grown.Fill(100, 75, 200, 150, Red);
    Drawn(grown, Green);
    EXPECT_EQ(grown.Mismatches(window.Grab()), 0);

    window.Resize(260, 200);
    window.Frame();
    ExpectedCanvas shrunk(260, 200);
    shrunk.Fill(100, 75, 200, 150, Red);
    shrunk.Fill(225, 160, 50, 40, Green);
    Drawn(shrunk, Blue);
    EXPECT_EQ(shrunk.Mismatches(window.Grab()), 0);
}

TEST_F(ShowRendering, PictureOnAnEmptyClientStillTakesItsScatteredPlace) {
    TestWindow window(0, 0);
    RECT client;
    ASSERT_TRUE(GetClientRect(window.Handle(), &client));
    ASSERT_TRUE(IsRectEmpty(&client));
    g_settings.position = 1;
    Order({Picture("red.jpg", 40, 30, Red), Picture("green.jpg", 40, 30, Green)});
    g_showRandom.Seed(1);
    window.Frame();
    ShowRandom afterOnePicture;
    afterOnePicture.Seed(1);
    afterOnePicture.Next();
    afterOnePicture.Next();
    EXPECT_EQ(g_showRandom.state, afterOnePicture.state);
}

// A 400 x 300 bitmap of the screen's format read as 0x00RRGGBB through the show's palette.
std::vector<uint32_t> ReadBitmap(HBITMAP bitmap) {
    HDC memory = CreateCompatibleDC(nullptr);
    HPALETTE former = nullptr;
    if (showPalette) {
        former = SelectPalette(memory, static_cast<HPALETTE>(showPalette), TRUE);
        RealizePalette(memory);
    }
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 400;
    info.bmiHeader.biHeight = -300;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> pixels(400 * 300);
    int lines = GetDIBits(memory, bitmap, 0, 300, pixels.data(), &info, DIB_RGB_COLORS);
    if (former) {
        SelectPalette(memory, former, TRUE);
    }
    DeleteDC(memory);
    EXPECT_EQ(lines, 300);
    for (uint32_t& pixel : pixels) {
        pixel &= 0xFFFFFF;
    }
    return pixels;
}

// The show's current picture drawn centered on black into a bitmap like the back buffer.
std::vector<uint32_t> DrawnAside(HWND window, bool selectPalette) {
    HDC windowDc = GetDC(window);
    HBITMAP bitmap = CreateCompatibleBitmap(windowDc, 400, 300);
    HDC memory = CreateCompatibleDC(windowDc);
    HGDIOBJ formerBitmap = SelectObject(memory, bitmap);
    if (selectPalette) {
        SelectPalette(memory, static_cast<HPALETTE>(showPalette), TRUE);
        RealizePalette(memory);
    }
    RECT all = {0, 0, 400, 300};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    g_showEngine.image.Draw(memory, 150, 110);
    SelectObject(memory, formerBitmap);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    std::vector<uint32_t> pixels = ReadBitmap(bitmap);
    DeleteObject(bitmap);
    return pixels;
}

TEST(ShowPalette, PaletteDisplaysSelectRealizeAndRestore) {
    g_settings = SaverSettings{};
    g_settings.mode = 1;
    g_settings.size = 2;
    g_settings.position = 0;
    PrepareDisplay();
    EXPECT_EQ(paletteDisplay != 0, ScreenDepth() <= 8);
    ASSERT_NE(showPalette, nullptr);

    TestFolder folder;
    std::string path = folder.PathOf("cube.jpg");
    const Colour onCube = {204, 51, 153};  // a colour of the palette's 6 x 6 x 6 cube
    WriteSolidJpeg(path, 100, 80, onCube);
    g_catalogue.count = 1;
    strcpy(g_catalogue.paths[0], path.c_str());
    g_catalogue.orderPosition = -1;
    AdvanceImage(0);

    TestWindow window(400, 300);
    HDC dc = GetDC(window.Handle());
    HGDIOBJ before = GetCurrentObject(dc, OBJ_PAL);
    g_showEngine.firstFramePending = 1;
    RenderFrame(window.Handle(), dc);
    g_showEngine.firstFramePending = 0;
    EXPECT_EQ(GetCurrentObject(dc, OBJ_PAL), before);
    ReleaseDC(window.Handle(), dc);

    ASSERT_NE(g_showEngine.backBuffer, nullptr);
    std::vector<uint32_t> kept = ReadBitmap(static_cast<HBITMAP>(g_showEngine.backBuffer));
    int inside = 0;
    int outsideBlack = 0;
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 400; ++x) {
            bool inPicture = x >= 150 && x < 250 && y >= 110 && y < 190;
            if (inPicture) {
                inside += Near(kept[y * 400 + x], onCube);
            } else {
                outsideBlack += kept[y * 400 + x] == 0;
            }
        }
    }
    EXPECT_EQ(outsideBlack, 400 * 300 - 100 * 80);
    if (!paletteDisplay) {
        EXPECT_GE(inside, 100 * 80 * 9 / 10);
        return;
    }

    // Wine's 8-bit screen maps colours onto its own colour map, so the frame is compared with the
    // same picture drawn where the palette is selected and realized, and without it.
    std::vector<uint32_t> withPalette = DrawnAside(window.Handle(), true);
    std::vector<uint32_t> withoutPalette = DrawnAside(window.Handle(), false);
    EXPECT_EQ(kept, withPalette);
    EXPECT_NE(withPalette, withoutPalette) << "the comparison cannot tell";

    if (paletteDisplay) {
        // Realized: the cube's colours are in the system palette now.
        PALETTEENTRY system[256];
        HDC screen = GetDC(nullptr);
        UINT entries = GetSystemPaletteEntries(screen, 0, 256, system);
        ReleaseDC(nullptr, screen);
        bool found = false;
        for (UINT i = 0; i < entries; ++i) {
            found |= system[i].peRed == onCube.red && system[i].peGreen == onCube.green &&
                     system[i].peBlue == onCube.blue;
        }
        EXPECT_TRUE(found);
    }
}

}  // namespace
