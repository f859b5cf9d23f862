#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include "image/dib_image.h"
#include "image/exif_orientation.h"
#include "test_jpeg.h"

namespace {

enum Quadrant { Red, Green, Blue, White };

// Four quadrants of distinct colours with some grain, so that both a wrong turn and a pixel
// off by one show. Odd sizes of more than two tiles each way reach every edge case of the turn.
constexpr int StoredWidth = 203;
constexpr int StoredHeight = 137;

std::vector<uint8_t> QuadrantSamples() {
    const uint8_t rgb[4][3] = {{220, 30, 30}, {30, 220, 30}, {30, 30, 220}, {220, 220, 220}};
    std::vector<uint8_t> s;
    for (int y = 0; y < StoredHeight; ++y)
        for (int x = 0; x < StoredWidth; ++x) {
            int q = (x >= StoredWidth / 2 ? 1 : 0) + (y >= StoredHeight / 2 ? 2 : 0);
            for (int c = 0; c < 3; ++c)
                s.push_back(static_cast<uint8_t>(rgb[q][c] + (x * 7 + y * 13 + c) % 29 - 14));
        }
    return s;
}

std::string QuadrantFile(const std::vector<std::vector<uint8_t>>& app1) {
    JpegOptions o;
    o.width = StoredWidth;
    o.height = StoredHeight;
    o.lumaH = o.lumaV = 1;
    o.quality = 95;
    o.app1 = app1;
    return WriteTempFile("quadrants.jpg", EncodeJpeg(o, QuadrantSamples()));
}

Quadrant ColourAt(const DibImage& image, int x, int y) {
    const uint8_t* p = PixelAt(image, x, y);  // blue, green, red
    if (p[0] > 128 && p[1] > 128)
        return White;
    return p[2] > 128 ? Red : p[1] > 128 ? Green : Blue;
}

struct Shown {
    int orientation;
    Quadrant topLeft, topRight, bottomLeft, bottomRight;
};
const Shown Orientations[] = {
    {1, Red, Green, Blue, White},  // as stored
    {2, Green, Red, White, Blue},  // mirrored left-right
    {3, White, Blue, Green, Red},  // half turn
    {4, Blue, White, Red, Green},  // mirrored top-bottom
    {5, Red, Blue, Green, White},  // transposed
    {6, Blue, Red, White, Green},  // quarter turn clockwise
    {7, White, Green, Blue, Red},  // transverse
    {8, Green, White, Red, Blue},  // quarter turn anticlockwise
};

// Where stored pixel (x, y) of a w x h picture is shown.
void ShownAt(int orientation, int x, int y, int w, int h, int* sx, int* sy) {
    const int mx = w - 1 - x, my = h - 1 - y;
    const int to[9][2] = {{x, y}, {x, y},  {mx, y},  {mx, my}, {x, my},
                          {y, x}, {my, x}, {my, mx}, {y, mx}};
    *sx = to[orientation][0];
    *sy = to[orientation][1];
}

}  // namespace

TEST(Orientation, EveryOrientationInBothByteOrdersStandsUpright) {
    DibImage stored;
    ASSERT_TRUE(DecodeFile(stored, QuadrantFile({}), 640, 480));
    ASSERT_FALSE(stored.failed);
    ASSERT_EQ(stored.width, StoredWidth);
    DibImage shown;
    for (bool bigEndian : {false, true})
        for (const Shown& c : Orientations) {
            SCOPED_TRACE(testing::Message()
                         << "orientation " << c.orientation << (bigEndian ? " MM" : " II"));
            ASSERT_TRUE(DecodeFile(
                shown, QuadrantFile({OrientationBlock(c.orientation, bigEndian)}), 640, 480));
            ASSERT_FALSE(shown.failed);
            const bool swapped = c.orientation >= 5;
            ASSERT_EQ(shown.width, swapped ? StoredHeight : StoredWidth);
            ASSERT_EQ(shown.height, swapped ? StoredWidth : StoredHeight);
            EXPECT_EQ(shown.stride, DibStride(shown.width));
            const int w = shown.width, h = shown.height;
            EXPECT_EQ(ColourAt(shown, w / 4, h / 4), c.topLeft);
            EXPECT_EQ(ColourAt(shown, 3 * w / 4, h / 4), c.topRight);
            EXPECT_EQ(ColourAt(shown, w / 4, 3 * h / 4), c.bottomLeft);
            EXPECT_EQ(ColourAt(shown, 3 * w / 4, 3 * h / 4), c.bottomRight);
            // Every pixel is the stored one, moved and not changed.
            int wrong = 0;
            for (int y = 0; y < StoredHeight; ++y)
                for (int x = 0; x < StoredWidth; ++x) {
                    int sx, sy;
                    ShownAt(c.orientation, x, y, StoredWidth, StoredHeight, &sx, &sy);
                    wrong += std::memcmp(PixelAt(stored, x, y), PixelAt(shown, sx, sy), 3) != 0;
                }
            EXPECT_EQ(wrong, 0);
        }
}

TEST(Orientation, ReductionIsChosenForThePictureAsShown) {
    // A 600 x 400 photo; quarter turns show it 400 x 600.
    struct Case {
        int orientation, boxWidth, boxHeight, width, height;
    } cases[] = {
        {1, 160, 240, 150, 100}, {6, 160, 240, 200, 300}, {8, 160, 240, 200, 300},  // tall box
        {1, 240, 160, 300, 200}, {6, 240, 160, 100, 150}, {8, 240, 160, 100, 150},  // wide box
        {3, 160, 240, 150, 100},
    };
    DibImage image;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "orientation " << c.orientation << " box " << c.boxWidth
                                        << "x" << c.boxHeight);
        JpegOptions o;
        o.width = 600;
        o.height = 400;
        o.app1 = {OrientationBlock(c.orientation, c.orientation == 8)};
        ASSERT_TRUE(
            DecodeFile(image, WriteTempFile("reduce.jpg", EncodeJpeg(o)), c.boxWidth, c.boxHeight));
        ASSERT_FALSE(image.failed);
        EXPECT_EQ(image.width, c.width);
        EXPECT_EQ(image.height, c.height);
    }
}

TEST(Orientation, FirstExifBlockCountsAndOtherApp1BlocksAreSkipped) {
    const char xmp[] = "http://ns.adobe.com/xap/1.0/";
    std::vector<uint8_t> xmpBlock(xmp, xmp + sizeof(xmp));
    xmpBlock.insert(xmpBlock.end(), {'<', 'x', '/', '>'});
    DibImage image;
    ASSERT_TRUE(DecodeFile(
        image, QuadrantFile({xmpBlock, OrientationBlock(6, false), OrientationBlock(3, false)}),
        640, 480));
    EXPECT_EQ(image.width, StoredHeight);
    EXPECT_EQ(ColourAt(image, 0, 0), Blue);
}

namespace {
// Each block is copied into a buffer of exactly its size, so ASan sees any read past it.
int ParseExact(const std::vector<uint8_t>& block) {
    std::unique_ptr<uint8_t[]> copy(new uint8_t[block.size() + (block.empty() ? 1 : 0)]);
    if (!block.empty())
        std::memcpy(copy.get(), block.data(), block.size());
    return ExifOrientation(copy.get(), block.size());
}
}  // namespace

TEST(Orientation, MalformedBlocksMeanAsStored) {
    for (bool be : {false, true}) {
        SCOPED_TRACE(be ? "MM" : "II");
        const std::vector<uint8_t> good = OrientationBlock(6, be);
        ASSERT_EQ(ParseExact(good), 6);
        // Orientation entry is third: identifier 6, header 8, count 2, entries 12 each.
        const size_t entryAt = 6 + 8 + 2 + 2 * 12;
        const size_t valueAt = entryAt + 8;
        // Every truncation that cuts into the orientation entry or what leads to it.
        for (size_t n = 0; n < valueAt + 2; ++n) {
            std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<long>(n));
            EXPECT_EQ(ParseExact(cut), 1) << "cut to " << n;
        }
        auto patched = [&](size_t at, std::vector<uint8_t> bytes) {
            std::vector<uint8_t> b = good;
            if (be)
                std::reverse(bytes.begin(), bytes.end());
            std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
            return b;
        };
        // Little-endian byte lists; reversed for MM.
        const struct {
            const char* what;
            size_t at;
            std::vector<uint8_t> bytes;
        } cases[] = {
            {"identifier", 3, {'F'}},
            {"magic", 8, {43, 0}},
            {"IFD past the end", 10, {0xFF, 0, 0, 0}},
            {"IFD at the very end", 10, {static_cast<uint8_t>(good.size() - 6), 0, 0, 0}},
            {"IFD offset overflowing", 10, {0xFF, 0xFF, 0xFF, 0xFF}},
            {"IFD inside the header", 10, {2, 0, 0, 0}},
            {"absurd entry count", 14, {0xFF, 0xFF}},
            {"one entry too many", 14, {5, 0}},
            {"type LONG", entryAt + 2, {4, 0}},
            {"type BYTE", entryAt + 2, {1, 0}},
            {"count 2", entryAt + 4, {2, 0, 0, 0}},
            {"count 0", entryAt + 4, {0, 0, 0, 0}},
            {"value 0", valueAt, {0, 0}},
            {"value 9", valueAt, {9, 0}},
            {"value 6 in the other half", valueAt, {0, 6}},
        };
        for (const auto& c : cases) {
            EXPECT_EQ(ParseExact(patched(c.at, c.bytes)), 1) << c.what;
        }
        // Byte order marks other than II and MM.
        std::vector<uint8_t> mixed = good;
        mixed[7] = be ? 'I' : 'M';
        EXPECT_EQ(ParseExact(mixed), 1);
        // No orientation tag at all.
        EXPECT_EQ(ParseExact(ExifBlock(be, {{0x010F, 2, 4, 0}})), 1);
        EXPECT_EQ(ParseExact(ExifBlock(be, {})), 1);
    }
    EXPECT_EQ(ExifOrientation(nullptr, 0), 1);
}

TEST(Orientation, PictureWithMalformedBlockDecodesAsStored) {
    std::vector<uint8_t> block = OrientationBlock(6, true);
    block[14] = 0xFF;  // entry count
    block[15] = 0xFF;
    DibImage image;
    ASSERT_TRUE(DecodeFile(image, QuadrantFile({block}), 640, 480));
    ASSERT_FALSE(image.failed);
    EXPECT_EQ(image.width, StoredWidth);
    EXPECT_EQ(ColourAt(image, 0, 0), Red);
}
