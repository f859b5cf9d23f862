#include <gtest/gtest.h>

#include <cstdlib>
#include "image/decoders/decode.h"
#include "image/dib_image.h"
#include "test_jpeg.h"

TEST(Decode, DenominatorStopsWithinOneAndAHalfBoxes) {
    EXPECT_EQ(ScaleDenominator(3000, 2000, 800, 600, 2), 4);
    EXPECT_EQ(ScaleDenominator(640, 480, 800, 600, 2), 1);
    EXPECT_EQ(ScaleDenominator(1200, 900, 800, 600, 2), 1);
    EXPECT_EQ(ScaleDenominator(1201, 900, 800, 600, 2), 2);
    EXPECT_EQ(ScaleDenominator(1200, 901, 800, 600, 1), 2);
    EXPECT_EQ(ScaleDenominator(640, 480, 0, 600, 2), 8);
    EXPECT_EQ(ScaleDenominator(640, 480, 800, 0, 2), 8);
    EXPECT_EQ(ScaleDenominator(20000, 15000, 800, 600, 2), 8);
    EXPECT_EQ(ScaleDenominator(1001, 751, 500, 400, 2), 2);
    EXPECT_EQ(ScaleDenominator(3000, 2000, 800, 600, 0), 1);
    EXPECT_EQ(ScaleDenominator(3000, 2000, 800, 600, 3), 1);
}

TEST(Decode, ReducesWhileDecodingAndRoundsSizesUp) {
    DibImage image;
    JpegOptions o;
    o.width = 3000;
    o.height = 2000;
    ASSERT_TRUE(DecodeFile(image, WriteTempFile("big.jpg", EncodeJpeg(o)), 800, 600));
    EXPECT_TRUE(image.loaded);
    EXPECT_FALSE(image.failed);
    EXPECT_EQ(image.width, 750);
    EXPECT_EQ(image.height, 500);
    EXPECT_EQ(image.components, 3);
    EXPECT_EQ(image.stride, DibStride(750));

    o.width = 1001;
    o.height = 751;
    std::string odd = WriteTempFile("odd.jpg", EncodeJpeg(o));
    ASSERT_TRUE(DecodeFile(image, odd, 500, 400));
    EXPECT_EQ(image.width, 501);
    EXPECT_EQ(image.height, 376);
    ASSERT_TRUE(DecodeFile(image, odd, 500, 400, 0));
    EXPECT_EQ(image.width, 1001);
    EXPECT_EQ(image.height, 751);
}

TEST(Decode, GreyGivesEqualBytes) {
    DibImage image;
    JpegOptions o;
    o.kind = JpegKind::Grey;
    o.lumaH = o.lumaV = 1;
    ASSERT_TRUE(DecodeFile(image, WriteTempFile("grey.jpg", EncodeJpeg(o)), 640, 480));
    ASSERT_FALSE(image.failed);
    EXPECT_EQ(image.components, 1);
    int distinct = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = PixelAt(image, x, y);
            ASSERT_EQ(p[0], p[1]);
            ASSERT_EQ(p[1], p[2]);
            distinct += p[0] != PixelAt(image, 0, 0)[0];
        }
    EXPECT_GT(distinct, 0);
}

namespace {
// Four bands: red, green, blue, white, written as the file kind stores them.
std::vector<uint8_t> InkBands(int width, int height, bool inverted) {
    const uint8_t inks[4][4] = {{0, 255, 255, 0}, {255, 0, 255, 0}, {255, 255, 0, 0}, {0, 0, 0, 0}};
    std::vector<uint8_t> s;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 4; ++c) {
                uint8_t ink = inks[x * 4 / width][c];
                s.push_back(inverted ? 255 - ink : ink);
            }
    return s;
}

void ExpectBands(const DibImage& image) {
    const int bgr[4][3] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}};
    for (int band = 0; band < 4; ++band) {
        const uint8_t* p =
            PixelAt(image, band * image.width / 4 + image.width / 8, image.height / 2);
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(p[c], bgr[band][c], 6) << "band " << band << " byte " << c;
    }
}
}  // namespace

TEST(Decode, FourComponentFilesShowTheirColours) {
    DibImage image;
    JpegOptions o;
    o.width = 128;
    o.height = 32;
    o.lumaH = o.lumaV = 1;
    for (JpegKind kind : {JpegKind::Cmyk, JpegKind::Ycck}) {
        o.kind = kind;
        // Adobe's files store ink inverted; without its marker the samples are plain ink.
        for (bool adobe : {true, false}) {
            if (kind == JpegKind::Ycck && !adobe) {
                continue;  // only Adobe's marker tells YCCK from CMYK
            }
            o.adobeMarker = adobe;
            SCOPED_TRACE(testing::Message()
                         << (kind == JpegKind::Cmyk ? "CMYK" : "YCCK") << " adobe " << adobe);
            std::string path = WriteTempFile("ink.jpg", EncodeJpeg(o, InkBands(128, 32, adobe)));
            ASSERT_TRUE(DecodeFile(image, path, 640, 480));
            ASSERT_FALSE(image.failed);
            EXPECT_EQ(image.components, 4);
            ExpectBands(image);
        }
    }
}

TEST(Decode, EveryCodingProcessAndSamplingDecodes) {
    struct Case {
        const char* name;
        int h, v;
        bool progressive, arithmetic;
        int restart;
    } cases[] = {{"420", 2, 2, false, false, 0},        {"444", 1, 1, false, false, 0},
                 {"422", 2, 1, false, false, 0},        {"440", 1, 2, false, false, 0},
                 {"progressive", 2, 2, true, false, 0}, {"arithmetic", 2, 2, false, true, 0},
                 {"restarts", 2, 2, false, false, 1}};
    DibImage image;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        JpegOptions o;
        o.width = 203;
        o.height = 119;
        o.lumaH = c.h;
        o.lumaV = c.v;
        o.progressive = c.progressive;
        o.arithmetic = c.arithmetic;
        o.restartRows = c.restart;
        ASSERT_TRUE(
            DecodeFile(image, WriteTempFile(std::string(c.name) + ".jpg", EncodeJpeg(o)), 100, 60));
        EXPECT_FALSE(image.failed);
        EXPECT_EQ(image.width, 102);
        EXPECT_EQ(image.height, 60);
    }
}
