#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include "image/dib_image.h"
#include "image/stop_check.h"
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

// Application markers of `bytes` in all after the start marker: bytes that hold no picture.
void Pad(std::vector<uint8_t>& jpeg, size_t bytes) {
    while (bytes > 0) {
        const size_t part = bytes < 60000 ? bytes : 60000;
        std::vector<uint8_t> marker = {0xFF, 0xEE, static_cast<uint8_t>((part + 2) >> 8),
                                       static_cast<uint8_t>(part + 2)};
        marker.resize(marker.size() + part, 0x55);
        jpeg.insert(jpeg.begin() + 2, marker.begin(), marker.end());
        bytes -= part;
    }
}

// A small colour photo declaring width x height, padded to the least a file of that size can
// weigh: one bit for each of its blocks.
std::vector<uint8_t> PaddedLargePhoto(int width, int height) {
    std::vector<uint8_t> bytes = Photo(64, 64);
    PatchFrameSize(bytes, width, height);
    Pad(bytes, static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2 / 64 / 8);
    return bytes;
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
    DibImage image;
    ASSERT_TRUE(
        DecodeFile(image, WriteTempFile("hundred.jpg", PaddedLargePhoto(12000, 8400)), 1920, 1080));
    EXPECT_FALSE(image.failed);
    EXPECT_EQ(image.width, 1500);
    EXPECT_EQ(image.height, 1050);
}

// Files that once stalled the show or took hundreds of megabytes: each is given up after
// reading little, or shows what it holds. The bytes read are where the stream stands after.
TEST(BadInput, HostilePicturesCostLittle) {
    std::vector<uint8_t> cutBaseline = Photo(16, 16);
    cutBaseline.resize(cutBaseline.size() - 2);
    std::vector<uint8_t> cutProgressive = Photo(16, 16, true);
    cutProgressive.resize(cutProgressive.size() - 2);
    const std::vector<uint8_t> eightK = PaddedLargePhoto(8000, 6000);
    std::vector<uint8_t> absurd = Photo(64, 64, true);
    PatchFrameSize(absurd, 13000, 13000);
    // Smooth pictures cost the fewest bytes per block there are: the most coefficients a file
    // of its size can carry, and it must still show.
    JpegOptions flat;
    flat.kind = JpegKind::Grey;
    flat.lumaH = flat.lumaV = 1;
    flat.progressive = true;
    flat.width = flat.height = 4200;
    std::vector<uint8_t> smooth = EncodeJpeg(flat, std::vector<uint8_t>(4200u * 4200u, 128));

    static int32_t stopAsked = 0;
    struct Case {
        const char* what;
        const std::vector<uint8_t>& bytes;
        uint64_t holeBytes;  // zeros after the bytes, never written
        bool stop;           // the front end asks to stop
        int32_t boxWidth, boxHeight;
        int32_t shownWidth;  // 0: given up
        long mostBytesRead;
    };
    const std::vector<uint8_t> start = {0xFF, 0xD8};
    // Files of 2 GB and more cannot be sized by the Windows build's standard library.
    const uint64_t gigabyte = uint64_t{1} << 30;
    const Case cases[] = {
        {"start marker, then a gigabyte hole", start, gigabyte, false, 1920, 1080, 0, 2 << 20},
        {"same, while a stop is asked", start, gigabyte, true, 1920, 1080, 0, 64 << 10},
        {"end marker cut, then a hole", cutBaseline, gigabyte, false, 1920, 1080, 16, 2 << 20},
        {"progressive, end marker cut", cutProgressive, gigabyte, false, 1920, 1080, 16, 2 << 20},
        {"8000x6000 on a 7680x4320 screen", eightK, 0, false, 7680, 4320, 4000, 1 << 20},
        {"13000 square progressive of kilobytes", absurd, 0, false, 1920, 1080, 0, 1 << 20},
        {"smooth 4200 square progressive", smooth, 0, false, 1920, 1080, 1050, 1 << 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        stopAsked = 0;
        const std::string path = WriteTempFile("hostile.jpg", c.bytes);
        if (c.holeBytes > 0) {
            std::filesystem::resize_file(path, c.bytes.size() + c.holeBytes);
        }
        const StopCheck stopNow = [] { return ++stopAsked; };
        SetStopCheck(c.stop ? stopNow : nullptr);
        DibImage image;
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        image.Decode(f, c.boxWidth, c.boxHeight, SizeRuleFit);
        const long bytesRead = std::ftell(f);
        std::fclose(f);
        SetStopCheck(nullptr);
        std::filesystem::remove(path);
        EXPECT_GE(bytesRead, 0);
        EXPECT_LE(bytesRead, c.mostBytesRead);
        EXPECT_EQ(image.failed != 0, c.shownWidth == 0);
        EXPECT_EQ(image.width, c.shownWidth);
        EXPECT_EQ(c.stop, stopAsked > 0);
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
        {"baseline colour, 40000 square", baseline, 40000, 40000, 0, 0},
        {"baseline colour, 40000 square behind 3 MB", baseline, 40000, 40000, 3000000, 5000},
        {"progressive colour, 12000 by 8400", progressive, 12000, 8400, 0, 0},
        {"progressive colour, 13000 square", progressive, 13000, 13000, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = EncodeJpeg(c.options);
        PatchFrameSize(bytes, c.width, c.height);
        Pad(bytes, c.padding);
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
