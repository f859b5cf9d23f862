#include <gtest/gtest.h>

#include "image/dib_image.h"
#include "image/display.h"
#include "test_jpeg.h"

TEST(Palette, BayerMatrixIsTheOrderFourMatrix) {
    const int row0[16] = {0, 192, 48, 240, 12, 204, 60, 252, 3, 195, 51, 243, 15, 207, 63, 255};
    const int row1[16] = {128, 64, 176, 112, 140, 76, 188, 124,
                          131, 67, 179, 115, 143, 79, 191, 127};
    const int col0[16] = {0, 128, 32, 160, 8, 136, 40, 168, 2, 130, 34, 162, 10, 138, 42, 170};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(BayerMatrix[i], row0[i]);
        EXPECT_EQ(BayerMatrix[16 + i], row1[i]);
        EXPECT_EQ(BayerMatrix[16 * i], col0[i]);
    }
    EXPECT_EQ(BayerMatrix[255], 85);
    bool seen[256] = {};
    for (int k = 0; k < 256; ++k)
        seen[BayerMatrix[k]] = true;
    for (int v = 0; v < 256; ++v)
        EXPECT_TRUE(seen[v]) << v;
}

TEST(Palette, DitherTablesAreTheMatrixRotated) {
    BuildDitherTables();
    const int blueRows[4][4] = {{-4, 2, -3, 3}, {0, -2, 1, -1}, {-3, 3, -4, 2}, {1, -1, 0, -2}};
    for (int r = 0; r < 4; ++r)
        for (int j = 0; j < 4; ++j)
            EXPECT_EQ(ditherBlue[16 * r + j], blueRows[r][j]);
    const int green[8] = {2, -3, 3, -4, 2, 1, -1, 0};
    const int red[8] = {-2, 1, -1, 0, -2, 1, -1, 0};
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(ditherGreen[j], green[j]);
        EXPECT_EQ(ditherRed[j], red[j]);
    }
    // Every offset is one step of a five-bit channel, and blue repeats every four.
    for (int k = 0; k < 256; ++k) {
        EXPECT_GE(ditherBlue[k], -4);
        EXPECT_LE(ditherBlue[k], 3);
        EXPECT_EQ(ditherBlue[k], ditherBlue[((k / 16) % 4) * 16 + k % 4]);
    }
}

TEST(Palette, DitherAddsOffsetsOnceAndClamps) {
    BuildDitherTables();
    DibImage image;
    FillImage(image, 20, 18, [](int x, int y, int c) {
        if (x == 0 && y == 0)
            return 100;
        if (x == 3 && y == 0 && c == 0)
            return 255;
        if (x == 1 && y == 0)
            return 2;
        return 128;
    });
    image.Dither();
    EXPECT_EQ(PixelAt(image, 0, 0)[0], 96);
    EXPECT_EQ(PixelAt(image, 0, 0)[1], 102);
    EXPECT_EQ(PixelAt(image, 0, 0)[2], 98);
    EXPECT_EQ(PixelAt(image, 3, 0)[0], 255);  // 255 + 3
    EXPECT_EQ(PixelAt(image, 1, 0)[1], 0);    // 2 - 3
    for (int y = 0; y < 18; ++y)
        for (int x = 4; x < 20; ++x) {
            int k = (y % 16) * 16 + x % 16;
            ASSERT_EQ(PixelAt(image, x, y)[0], 128 + ditherBlue[k]);
            ASSERT_EQ(PixelAt(image, x, y)[1], 128 + ditherGreen[k]);
            ASSERT_EQ(PixelAt(image, x, y)[2], 128 + ditherRed[k]);
        }
    image.Dither();
    EXPECT_EQ(PixelAt(image, 0, 0)[0], 96);
}

TEST(Palette, EntriesAreTheSixLevelCubeThenBlack) {
    ShowPaletteEntry e[PaletteColours];
    ASSERT_TRUE(BuildShowPaletteEntries(e));
    auto is = [&](int i, int r, int g, int b) {
        return e[i].red == r && e[i].green == g && e[i].blue == b &&
               e[i].flags == PaletteNoCollapse;
    };
    EXPECT_TRUE(is(0, 0, 0, 0));
    EXPECT_TRUE(is(1, 0, 0, 51));
    EXPECT_TRUE(is(6, 0, 51, 0));
    EXPECT_TRUE(is(36, 51, 0, 0));
    EXPECT_TRUE(is(215, 255, 255, 255));
    const int levels[6] = {0, 51, 102, 153, 204, 255};
    for (int i = 0; i < 216; ++i)
        EXPECT_TRUE(is(i, levels[i / 36], levels[i / 6 % 6], levels[i % 6])) << i;
    for (int i = 216; i < PaletteColours; ++i)
        EXPECT_TRUE(is(i, 0, 0, 0)) << i;
}

TEST(Palette, ColoursOnTheCubeMapToTheirBlueFirstIndex) {
    DibImage image;
    for (int width : {1, 5}) {
        FillImage(image, width, 3, [](int, int, int c) { return 51 * (c + 1); });
        image.QuantizeToPalette();
        ASSERT_NE(image.indexPixels, nullptr);
        EXPECT_FALSE(image.failed);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < width; ++x)
                EXPECT_EQ(image.indexPixels[y * IndexStride(width) + x], 36 * 1 + 6 * 2 + 3);
    }
}

TEST(Palette, IndicesStayOnTheCubeAndReplaceTheOldCopy) {
    DibImage image;
    FillImage(image, 123, 77, [](int x, int y, int c) { return (x * 7 + y * 3 + c * 90) % 256; });
    image.QuantizeToPalette();
    ASSERT_NE(image.indexPixels, nullptr);
    int high = 0;
    for (int y = 0; y < 77; ++y)
        for (int x = 0; x < 123; ++x)
            high = std::max<int>(high, image.indexPixels[y * IndexStride(123) + x]);
    EXPECT_LE(high, 215);
    EXPECT_GT(high, 100);
    image.QuantizeToPalette();  // replaces without leaking (checked under the sanitizers)
    EXPECT_NE(image.indexPixels, nullptr);
}
