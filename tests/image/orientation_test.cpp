#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include "image/dib_image.h"
#include "image/decoders/exif_orientation.h"
#include "test_jpeg.h"

namespace {
// Where stored pixel (x, y) of a w x h picture is shown.
void ShownAt(int orientation, int x, int y, int w, int h, int* sx, int* sy) {
    const int mx = w - 1 - x, my = h - 1 - y;
    const int to[9][2] = {{x, y},   {x, y},  // 1 as stored
                          {mx, y},           // 2 mirrored left-right
                          {mx, my},          // 3 half turn
                          {x, my},           // 4 mirrored top-bottom
                          {y, x},            // 5 transposed
                          {my, x},           // 6 quarter turn clockwise
                          {my, mx},          // 7 transverse
                          {y, mx}};          // 8 quarter turn anticlockwise
    *sx = to[orientation][0];
    *sy = to[orientation][1];
}

// Copied into a buffer of exactly the block's size, so that ASan sees any read past it.
int ParseExact(const std::vector<uint8_t>& block) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[block.size() + 1]);
    std::copy(block.begin(), block.end(), copy.get());
    return ExifOrientation(copy.get(), block.size());
}
}  // namespace

// Odd sizes and a last band of rows cut short; every kind of output the decoder converts.
TEST(Orientation, EveryPixelIsShownWhereTheExifBlockSays) {
    std::vector<uint8_t> broken = OrientationBlock(6, true);
    broken[14] = broken[15] = 0xFF;  // entry count
    const std::vector<uint8_t> xmp = {'h', 't', 't', 'p', ':', 0, '<', 'x', '/', '>'};
    std::vector<std::pair<std::vector<std::vector<uint8_t>>, int>> cases = {
        {{{}, {1}, xmp, OrientationBlock(6, false), OrientationBlock(3, false)}, 6}, {{broken}, 1}};
    for (int orientation = 1; orientation <= 8; ++orientation) {
        cases.push_back({{OrientationBlock(orientation, false)}, orientation});
        cases.push_back({{OrientationBlock(orientation, true)}, orientation});
    }
    JpegOptions o;
    o.width = 203;
    o.height = 137;
    DibImage stored, shown;
    for (JpegKind kind : {JpegKind::Colour, JpegKind::Grey, JpegKind::Cmyk}) {
        o.kind = kind;
        o.app1.clear();
        ASSERT_TRUE(DecodeFile(stored, WriteTempFile("stored.jpg", EncodeJpeg(o)), 640, 480));
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << "kind " << static_cast<int>(kind) << " orientation " << c.second
                         << " blocks " << c.first.size() << " byte order " << c.first.back()[6]);
            o.app1 = c.first;
            ASSERT_TRUE(DecodeFile(shown, WriteTempFile("shown.jpg", EncodeJpeg(o)), 640, 480));
            ASSERT_FALSE(shown.failed);
            const bool swapped = c.second >= 5;
            ASSERT_EQ(shown.width, swapped ? o.height : o.width);
            ASSERT_EQ(shown.height, swapped ? o.width : o.height);
            EXPECT_EQ(shown.stride, DibStride(shown.width));
            int moved = 0;
            for (int y = 0; y < o.height; ++y)
                for (int x = 0; x < o.width; ++x) {
                    int sx, sy;
                    ShownAt(c.second, x, y, o.width, o.height, &sx, &sy);
                    moved += std::memcmp(PixelAt(stored, x, y), PixelAt(shown, sx, sy), 3) != 0;
                }
            EXPECT_EQ(moved, 0);
        }
    }
}

TEST(Orientation, ReductionIsChosenForThePictureAsShown) {
    // A 600 x 400 photo, shown 400 x 600 after a quarter turn; the boxes tall, then wide.
    const int cases[][5] = {{1, 160, 240, 150, 100}, {6, 160, 240, 200, 300},
                            {8, 160, 240, 200, 300}, {3, 160, 240, 150, 100},
                            {1, 240, 160, 300, 200}, {6, 240, 160, 100, 150},
                            {8, 240, 160, 100, 150}};
    JpegOptions o;
    o.width = 600;
    o.height = 400;
    DibImage image;
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "orientation " << c[0] << " box " << c[1] << "x" << c[2]);
        o.app1 = {OrientationBlock(c[0], c[0] == 8)};
        ASSERT_TRUE(DecodeFile(image, WriteTempFile("reduce.jpg", EncodeJpeg(o)), c[1], c[2]));
        EXPECT_EQ(image.width, c[3]);
        EXPECT_EQ(image.height, c[4]);
    }
}

TEST(Orientation, MalformedBlocksMeanAsStored) {
    const size_t entry = 40, value = entry + 8;  // the orientation entry and its value
    // Offsets into the block, with the bytes little-endian; reversed for MM.
    const std::pair<size_t, std::vector<uint8_t>> patches[] = {
        {3, {'F'}},                      // identifier
        {7, {'X'}},                      // byte order
        {8, {43, 0}},                    // TIFF magic
        {10, {0xFF, 0, 0, 0}},           // IFD past the end
        {10, {62, 0, 0, 0}},             // IFD at the very end
        {10, {0xFF, 0xFF, 0xFF, 0xFF}},  // IFD offset that overflows a sum
        {14, {0xFF, 0xFF}},              // absurd entry count
        {14, {5, 0}},                    // one entry more than the block holds
        {14, {0, 0}},                    // no entries
        {entry, {0x13, 0x01}},           // no orientation tag
        {entry + 2, {4, 0}},             // LONG
        {entry + 2, {1, 0}},             // BYTE
        {entry + 4, {2, 0, 0, 0}},       // two values
        {entry + 4, {0, 0, 0, 0}},       // none
        {value, {0, 0}},                 // 0
        {value, {9, 0}},                 // 9
        {value, {0, 6}},                 // 6 in the wrong half
    };
    for (bool bigEndian : {false, true}) {
        SCOPED_TRACE(bigEndian ? "MM" : "II");
        const std::vector<uint8_t> good = OrientationBlock(6, bigEndian);
        ASSERT_EQ(good.size(), 68u);
        ASSERT_EQ(ParseExact(good), 6);
        for (size_t n = 0; n < value + 2; ++n) {
            EXPECT_EQ(ParseExact({good.begin(), good.begin() + static_cast<long>(n)}), 1)
                << "cut to " << n;
        }
        for (const auto& p : patches) {
            std::vector<uint8_t> b = good, bytes = p.second;
            if (bigEndian && p.first > 7)
                std::reverse(bytes.begin(), bytes.end());
            std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(p.first));
            EXPECT_EQ(ParseExact(b), 1) << "patched at " << p.first;
        }
    }
    EXPECT_EQ(ExifOrientation(nullptr, 0), 1);
}
