#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "image/display.h"
#include "image/pixel_layout.h"

namespace {

// Packs one row of blue-green-red pixels and reads the values back in host order.
std::vector<uint32_t> Packed(const std::vector<uint8_t>& bgr, const PixelLayout& layout) {
    const int32_t width = static_cast<int32_t>(bgr.size() / 3);
    std::vector<uint8_t> out(static_cast<size_t>(width * layout.bytesPerPixel) + 1, 0xEE);
    PackRow(bgr.data(), width, layout, out.data());
    EXPECT_EQ(out.back(), 0xEE) << "wrote past the row";
    std::vector<uint32_t> values;
    for (int32_t x = 0; x < width; ++x) {
        uint32_t v = 0;
        const uint8_t* p = out.data() + x * layout.bytesPerPixel;
        switch (layout.bytesPerPixel) {
            case 4:
                std::memcpy(&v, p, 4);
                break;
            case 2: {
                uint16_t s;
                std::memcpy(&s, p, 2);
                v = s;
                break;
            }
            case 3:
                v = p[0] | (p[1] << 8) | (p[2] << 16);  // the build hosts are little-endian
                break;
            default:
                v = p[0];
                break;
        }
        values.push_back(v);
    }
    return values;
}

TEST(PixelLayout, PacksRowsIntoTheVisualsMasks) {
    // Pixels: pure blue, green and red, white, a mid colour that shows the truncation, black.
    const std::vector<uint8_t> row = {255, 0,   0,   0,    255,  0,    0, 0, 255,
                                      255, 255, 255, 0x0F, 0x87, 0xC9, 0, 0, 0};
    struct Case {
        const char* name;
        uint32_t red, green, blue;
        int32_t bitsPerPixel;
        std::vector<uint32_t> expected;
    };
    const Case cases[] = {
        {"32-bit 8-8-8",
         0xFF0000,
         0xFF00,
         0xFF,
         32,
         {0xFF, 0xFF00, 0xFF0000, 0xFFFFFF, 0xC9870F, 0}},
        {"32-bit blue high",
         0xFF,
         0xFF00,
         0xFF0000,
         32,
         {0xFF0000, 0xFF00, 0xFF, 0xFFFFFF, 0x0F87C9, 0}},
        {"24-bit packed",
         0xFF0000,
         0xFF00,
         0xFF,
         24,
         {0xFF, 0xFF00, 0xFF0000, 0xFFFFFF, 0xC9870F, 0}},
        // 5-6-5 keeps six bits of green: 0x87 >> 2 = 0x21, 0xC9 >> 3 = 0x19, 0x0F >> 3 = 1.
        {"16-bit 5-6-5",
         0xF800,
         0x07E0,
         0x001F,
         16,
         {0x1F, 0x7E0, 0xF800, 0xFFFF, (0x19u << 11) | (0x21u << 5) | 1u, 0}},
        {"15-bit 5-5-5",
         0x7C00,
         0x03E0,
         0x001F,
         16,
         {0x1F, 0x3E0, 0x7C00, 0x7FFF, (0x19u << 10) | (0x10u << 5) | 1u, 0}},
        {"8-bit 3-3-2", 0xE0, 0x1C, 0x03, 8, {0x03, 0x1C, 0xE0, 0xFF, (6u << 5) | (4u << 2), 0}},
        // Ten bits a channel: the top bits repeat below, so full scale stays full.
        {"30-bit 10-10-10",
         0x3FF00000,
         0xFFC00,
         0x3FF,
         32,
         {0x3FF, 0xFFC00, 0x3FF00000, 0x3FFFFFFF, (0x327u << 20) | (0x21Eu << 10) | 0x03Cu, 0}},
    };
    for (const Case& c : cases) {
        PixelLayout layout = LayoutOfMasks(c.red, c.green, c.blue, c.bitsPerPixel);
        EXPECT_EQ(Packed(row, layout), c.expected) << c.name;
    }
    // A 32-bit visual with alpha: every pixel opaque, on the fast path and the general one.
    struct Argb {
        uint32_t red, blue, expected;
    };
    for (const Argb& c : {Argb{0xFF0000, 0xFF, 0xFF030201}, Argb{0xFF, 0xFF0000, 0xFF010203}}) {
        PixelLayout layout = LayoutOfMasks(c.red, 0xFF00, c.blue, 32);
        layout.opaqueBits = OpaqueBits(32, c.red, 0xFF00, c.blue);
        EXPECT_EQ(layout.opaqueBits, 0xFF000000u);
        EXPECT_EQ(Packed({0, 0, 0, 1, 2, 3}, layout),
                  (std::vector<uint32_t>{0xFF000000, c.expected}));
    }
}

TEST(PixelLayout, FindsEachMasksPlace) {
    EXPECT_EQ(PlaceOfMask(0xF800).shift, 11);
    EXPECT_EQ(PlaceOfMask(0xF800).bits, 5);
    EXPECT_EQ(PlaceOfMask(0x07E0).bits, 6);
    EXPECT_EQ(PlaceOfMask(0xFF000000).shift, 24);
    EXPECT_EQ(PlaceOfMask(0).bits, 0);
    EXPECT_EQ(PackChannel(200, PlaceOfMask(0)), 0u);
    EXPECT_EQ(LayoutOfMasks(0, 0, 0, 1).bytesPerPixel, 1);
    EXPECT_EQ(LayoutOfMasks(0, 0, 0, 24).bytesPerPixel, 3);
    EXPECT_EQ(OpaqueBits(24, 0xFF0000, 0xFF00, 0xFF), 0u);
    EXPECT_EQ(OpaqueBits(16, 0xF800, 0x07E0, 0x001F), 0u);
    EXPECT_EQ(OpaqueBits(15, 0x7C00, 0x03E0, 0x001F), 0u);
}

TEST(PixelLayout, PaletteIndicesGoThroughThePixelTable) {
    uint32_t table[256] = {};
    for (uint32_t i = 0; i < 256; ++i) {
        table[i] = 0xA0000 + i * 3;
    }
    const uint8_t indices[] = {0, 235, 7, 255};
    uint8_t bytes[4] = {};
    PackIndexRow(indices, 4, table, 1, bytes);
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + 4), (std::vector<uint8_t>{0, 0xC1, 21, 0xFD}));
    uint32_t wide[4] = {};
    PackIndexRow(indices, 4, table, 4, reinterpret_cast<uint8_t*>(wide));
    EXPECT_EQ(std::vector<uint32_t>(wide, wide + 4),
              (std::vector<uint32_t>{0xA0000, 0xA0000 + 705, 0xA0000 + 21, 0xA0000 + 765}));
}

// The quantizer's first component is the picture's blue: index i of its output stands for the
// entry with red and blue exchanged, the colour Windows shows for it.
TEST(PixelLayout, PaletteColoursAreTheQuantizersColours) {
    ShowPaletteEntry entries[PaletteColours];
    ASSERT_TRUE(BuildShowPaletteEntries(entries));
    RgbColour colours[PaletteColours];
    for (int i = 0; i < PaletteColours; ++i) {
        colours[i] = PaletteColourOf(entries[i]);
        EXPECT_EQ(colours[i].red, entries[i].blue);
        EXPECT_EQ(colours[i].green, entries[i].green);
        EXPECT_EQ(colours[i].blue, entries[i].red);
    }
    // The palette ends in black, which clears frames on palette screens.
    EXPECT_EQ(colours[PaletteColours - 1].red, 0);
    EXPECT_EQ(colours[PaletteColours - 1].green, 0);
    EXPECT_EQ(colours[PaletteColours - 1].blue, 0);
    // Every palette colour is its own nearest; the first of equals wins.
    for (int i = 0; i < PaletteColours; ++i) {
        int32_t nearest = NearestColour(colours[i], colours, PaletteColours);
        ASSERT_GE(nearest, 0);
        EXPECT_EQ(std::memcmp(&colours[nearest], &colours[i], sizeof(RgbColour)), 0);
        EXPECT_LE(nearest, i);
    }
}

TEST(PixelLayout, NearestColourWhereAllocationFails) {
    const RgbColour cells[] = {{0, 0, 0}, {255, 255, 255}, {250, 10, 10}, {10, 10, 250}};
    struct Case {
        RgbColour want;
        int32_t nearest;
    };
    const Case cases[] = {
        {{0, 0, 0}, 0},     {{40, 40, 40}, 0},  {{200, 200, 200}, 1},
        {{180, 60, 40}, 2}, {{30, 20, 160}, 3}, {{140, 140, 140}, 1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NearestColour(c.want, cells, 4), c.nearest)
            << int(c.want.red) << "," << int(c.want.green) << "," << int(c.want.blue);
    }
    EXPECT_EQ(NearestColour({1, 2, 3}, cells, 0), -1);
}

}  // namespace
