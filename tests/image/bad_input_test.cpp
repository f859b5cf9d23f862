#include <gtest/gtest.h>

#include <chrono>
#include "image/dib_image.h"
#include "test_jpeg.h"

namespace {
// The picture that must decode after every bad one.
void ExpectNextPictureWorks(DibImage& image) {
    JpegOptions o;
    o.width = 40;
    o.height = 30;
    ASSERT_TRUE(DecodeFile(image, WriteTempFile("good.jpg", EncodeJpeg(o)), 640, 480));
    EXPECT_TRUE(image.loaded);
    EXPECT_FALSE(image.failed);
    EXPECT_EQ(image.width, 40);
    EXPECT_EQ(image.height, 30);
}

void ExpectFailed(const std::vector<uint8_t>& bytes, int box = 640) {
    DibImage image;
    ASSERT_TRUE(DecodeFile(image, WriteTempFile("bad.jpg", bytes), box, box));
    EXPECT_TRUE(image.loaded);
    EXPECT_TRUE(image.failed);
    image.Scale(10, 10, ScaleTypeFit);  // must stay untouched
    EXPECT_EQ(image.header, nullptr);
    ExpectNextPictureWorks(image);
}

std::vector<uint8_t> Photo(int w = 96, int h = 64, bool progressive = false) {
    JpegOptions o;
    o.width = w;
    o.height = h;
    o.progressive = progressive;
    return EncodeJpeg(o);
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}
}  // namespace

TEST(BadInput, EmptyAndForeignFilesFailWithoutPixels) {
    ExpectFailed({});
    ExpectFailed({'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0});
    ExpectFailed(std::vector<uint8_t>(5000, 0xFF));
    DibImage image;
    ASSERT_TRUE(DecodeFile(image, WriteTempFile("empty.jpg", {}), 640, 480));
    EXPECT_EQ(image.pixels, nullptr);
    image.Decode(nullptr, 640, 480, SizeRuleFit);
    EXPECT_TRUE(image.failed);
}

TEST(BadInput, TablesOnlyStreamFails) {
    ExpectFailed(TablesOnlyJpeg());
}

TEST(BadInput, TruncatedHeadersFailAndTruncatedDataDecodesToTheEnd) {
    for (bool progressive : {false, true}) {
        std::vector<uint8_t> full = Photo(96, 64, progressive);
        for (size_t cut : {size_t{1}, size_t{2}, size_t{20}, size_t{150}}) {
            SCOPED_TRACE(cut);
            ExpectFailed(std::vector<uint8_t>(full.begin(), full.begin() + cut));
        }
        for (size_t cut : {full.size() / 2, full.size() - 2}) {
            DibImage image;
            std::vector<uint8_t> part(full.begin(), full.begin() + cut);
            ASSERT_TRUE(DecodeFile(image, WriteTempFile("part.jpg", part), 640, 480));
            EXPECT_FALSE(image.failed);
            EXPECT_EQ(image.height, 64);
            ExpectNextPictureWorks(image);
        }
    }
}

TEST(BadInput, CorruptEntropyDataDecodesWithWarnings) {
    std::vector<uint8_t> bytes = Photo(200, 120);
    // Scrambled entropy data that stays free of markers: no 0xFF, stuffed zeros kept.
    for (size_t i = bytes.size() / 3; i < bytes.size() * 2 / 3; i += 7) {
        if (bytes[i - 1] != 0xFF && bytes[i] != 0xFF) {
            bytes[i] = static_cast<uint8_t>(bytes[i] * 31 + 11) & 0x7F;
        }
    }
    DibImage image;
    ASSERT_TRUE(DecodeFile(image, WriteTempFile("corrupt.jpg", bytes), 640, 480));
    EXPECT_FALSE(image.failed);
    EXPECT_EQ(image.width, 200);
    ExpectNextPictureWorks(image);
}

TEST(BadInput, HugeDeclaredSizeIsRefusedQuickly) {
    for (bool progressive : {false, true}) {
        std::vector<uint8_t> bytes = Photo(64, 64, progressive);
        PatchFrameSize(bytes, 65500, 65500);
        auto start = std::chrono::steady_clock::now();
        ExpectFailed(bytes, 1920);
        EXPECT_LT(Seconds(start), 5.0);
    }
    // Small enough for the picture, too big for the library's coefficient buffers.
    std::vector<uint8_t> bytes = Photo(64, 64, true);
    PatchFrameSize(bytes, 30000, 30000);
    ExpectFailed(bytes, 1920);
}

TEST(BadInput, HundredMegapixelPhotoStillDecodesReduced) {
    for (bool progressive : {false, true}) {
        std::vector<uint8_t> bytes = Photo(64, 64, progressive);
        PatchFrameSize(bytes, 12000, 8400);
        DibImage image;
        ASSERT_TRUE(DecodeFile(image, WriteTempFile("hundred.jpg", bytes), 1920, 1080));
        EXPECT_FALSE(image.failed) << "progressive " << progressive;
        EXPECT_EQ(image.width, 1500);
        EXPECT_EQ(image.height, 1050);
    }
}

TEST(BadInput, EndlessProgressiveScansAreStopped) {
    JpegOptions o;
    o.kind = JpegKind::Grey;
    o.lumaH = o.lumaV = 1;
    o.endlessScans = true;
    ExpectFailed(EncodeJpeg(o));
    // A normal progressive file is not affected.
    DibImage image;
    ASSERT_TRUE(DecodeFile(image, WriteTempFile("prog.jpg", Photo(64, 48, true)), 640, 480));
    EXPECT_FALSE(image.failed);
}

// Kilobytes that declare a huge picture and make the decoder walk it many times over, or
// decode each block the costly way: given up, where decoding took seconds. Files whose work is
// in proportion to what they hold still show, reduced.
TEST(BadInput, WorkFarBeyondWhatTheFileHoldsIsGivenUp) {
    JpegOptions endless;
    endless.kind = JpegKind::Grey;
    endless.lumaH = endless.lumaV = 1;
    endless.endlessScans = true;
    JpegOptions endlessArithmetic = endless;
    endlessArithmetic.arithmetic = true;
    JpegOptions progressiveArithmetic;
    progressiveArithmetic.progressive = true;
    progressiveArithmetic.arithmetic = true;
    JpegOptions sequentialArithmetic;
    sequentialArithmetic.arithmetic = true;
    JpegOptions greyArithmetic = endless;
    greyArithmetic.endlessScans = false;
    greyArithmetic.arithmetic = true;
    JpegOptions baseline;
    JpegOptions progressive;
    progressive.progressive = true;
    struct Case {
        const char* what;
        const JpegOptions& options;
        int width, height;
        size_t padding;  // bytes of an application marker that hold no picture
        int shownWidth;  // 0: given up
    };
    const Case cases[] = {
        {"hundreds of scans, 13000 square", endless, 13000, 13000, 0, 0},
        {"hundreds of scans, 16000 square", endless, 16000, 16000, 0, 0},
        {"hundreds of scans behind 60 KB of padding", endless, 13000, 13000, 60000, 0},
        {"hundreds of arithmetic scans", endlessArithmetic, 13000, 13000, 0, 0},
        {"progressive arithmetic colour", progressiveArithmetic, 13000, 13000, 0, 0},
        {"sequential arithmetic colour", sequentialArithmetic, 13000, 13000, 0, 0},
        {"sequential arithmetic grey, 52000 square", greyArithmetic, 52000, 52000, 0, 0},
        {"baseline colour, 52000 square", baseline, 52000, 52000, 0, 0},
        {"baseline colour, 40000 square", baseline, 40000, 40000, 0, 5000},
        {"progressive colour, 12000 by 8400", progressive, 12000, 8400, 0, 1500},
        {"progressive colour, 13000 square", progressive, 13000, 13000, 0, 1625},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = EncodeJpeg(c.options);
        PatchFrameSize(bytes, c.width, c.height);
        if (c.padding > 0) {
            std::vector<uint8_t> marker = {0xFF, 0xEE, static_cast<uint8_t>((c.padding + 2) >> 8),
                                           static_cast<uint8_t>(c.padding + 2)};
            marker.resize(marker.size() + c.padding, 0x55);
            bytes.insert(bytes.begin() + 2, marker.begin(), marker.end());
        }
        if (c.shownWidth == 0) {
            ExpectFailed(bytes, 1920);
            continue;
        }
        DibImage image;
        ASSERT_TRUE(DecodeFile(image, WriteTempFile("large.jpg", bytes), 1920, 1920));
        EXPECT_FALSE(image.failed);
        EXPECT_EQ(image.width, c.shownWidth);
    }
}

TEST(BadInput, OnePixelWideAndHighPicturesDecodeAndFit) {
    const int sizes[][2] = {{1, 300}, {300, 1}, {1, 1}};
    for (const auto& s : sizes) {
        SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1]);
        DibImage image;
        ASSERT_TRUE(DecodeFile(image, WriteTempFile("thin.jpg", Photo(s[0], s[1])), 100, 100));
        ASSERT_FALSE(image.failed);
        image.Scale(100, 100, ScaleTypeFit);
        image.QuantizeToPalette();
        image.Dither();
        EXPECT_TRUE(image.loaded);
        ExpectNextPictureWorks(image);
    }
}
