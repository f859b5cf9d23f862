// Every format beside JPEG against its own command-line decoder: the pictures and the tools'
// decodes of them come from make_format_pictures.sh. Alpha is expected over black on the stored
// values and 16-bit samples rounded to 8.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "image/decoders/decode_picture.h"
#include "image/decoders/decode_runner.h"
#include "image/stop_check.h"
#include "test_jpeg.h"
#ifndef _WIN32
#include <unistd.h>
#include <chrono>
#endif

namespace {

// A P7 file as the tools write it: grey or colour, with or without alpha, 8 or 16 bits.
struct Pam {
    int width = 0, height = 0, depth = 0, maxval = 0;
    std::vector<uint8_t> data;
    int Sample(int x, int y, int c) const {
        const size_t i = (static_cast<size_t>(y) * width + x) * depth + c;
        return maxval > 255 ? data[2 * i] << 8 | data[2 * i + 1] : data[i];
    }
};

std::string PicturePath(const std::string& name) {
    return std::string(FV_FORMAT_PICTURES) + "/" + name;
}

Pam ReadPam(const std::string& name) {
    Pam pam;
    FILE* f = std::fopen(PicturePath(name).c_str(), "rb");
    if (f == nullptr) {
        return pam;
    }
    char word[32];
    while (std::fscanf(f, "%31s", word) == 1 && std::strcmp(word, "ENDHDR") != 0) {
        if (!std::strcmp(word, "WIDTH"))
            std::fscanf(f, "%d", &pam.width);
        if (!std::strcmp(word, "HEIGHT"))
            std::fscanf(f, "%d", &pam.height);
        if (!std::strcmp(word, "DEPTH"))
            std::fscanf(f, "%d", &pam.depth);
        if (!std::strcmp(word, "MAXVAL"))
            std::fscanf(f, "%d", &pam.maxval);
    }
    std::fgetc(f);
    pam.data.resize(static_cast<size_t>(pam.width) * pam.height * pam.depth *
                    (pam.maxval > 255 ? 2 : 1));
    pam.data.resize(std::fread(pam.data.data(), 1, pam.data.size(), f));
    std::fclose(f);
    return pam;
}

int ToEightBits(int value, int maxval) {
    return (value * 255 + maxval / 2) / maxval;
}

// Pixels whose channels differ from the reference over black by more than the tolerance.
long Mismatches(const DibImage& image, const Pam& pam, int tolerance) {
    long bad = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const bool grey = pam.depth < 3;
            const bool hasAlpha = pam.depth == 2 || pam.depth == 4;
            const int alpha =
                hasAlpha ? ToEightBits(pam.Sample(x, y, pam.depth - 1), pam.maxval) : 255;
            for (int c = 0; c < 3; ++c) {
                const int colour = ToEightBits(pam.Sample(x, y, grey ? 0 : c), pam.maxval);
                const int want = (colour * alpha + 127) / 255;
                bad += std::abs(PixelAt(image, x, y)[2 - c] - want) > tolerance;
            }
        }
    }
    return bad;
}

struct FormatCase {
    const char* file;
    int32_t formats;
    PictureKind kind;   // the decoder that must read it
    const char* shows;  // the tool's decode it must match; null: the picture must fail
    int32_t box = 1920;
    int tolerance = 0;
};

// The Windows build's libheif carries the HEVC decoder alone.
#ifdef _WIN32
constexpr const char* Av1Shows = nullptr;
#else
constexpr const char* Av1Shows = "heif-av1.pam";
#endif

const FormatCase Cases[] = {
    {"png-rgb.png", FormatsAll, PicturePng, "png-rgb.pam"},
    {"png-interlaced.png", FormatsAll, PicturePng, "png-interlaced.pam"},
    {"png-alpha.png", FormatsAll, PicturePng, "png-alpha.pam"},
    {"png-palette.png", FormatsAll, PicturePng, "png-palette.pam"},
    {"png-grey2.png", FormatsAll, PicturePng, "png-grey2.pam"},
    {"png-16.png", FormatsAll, PicturePng, "png-16.pam"},
    {"png-16-alpha.png", FormatsAll, PicturePng, "png-16-alpha.pam"},
    // Halved while read: the mean of every four pixels over black, rounded.
    {"png-even.png", FormatsAll, PicturePng, "png-even-half.pam", 40, 1},
    {"webp-lossy.webp", FormatsAll, PictureWebp, "webp-lossy.pam"},
    {"webp-lossy.webp", FormatsAll, PictureWebp, "webp-lossy-half.pam", 40},
    {"webp-lossy-alpha.webp", FormatsAll, PictureWebp, "webp-lossy-alpha.pam"},
    {"webp-lossless-alpha.webp", FormatsAll, PictureWebp, "webp-lossless-alpha.pam"},
    {"webp-animated.webp", FormatsAll, PictureWebp, "webp-animated.pam"},
    {"heif-rgb.heic", FormatsAll, PictureHeif, "heif-rgb.pam"},
    {"heif-alpha.heic", FormatsAll, PictureHeif, "heif-alpha.pam"},
    // The tool keeps 10 bits, the show rounds to 8.
    {"heif-10bit.heic", FormatsAll, PictureHeif, "heif-10bit.pam", 1920, 1},
    // AV1, whose sequence header lies in the picture's data rather than its configuration.
    {"heif-av1.avif", FormatsAll, PictureHeif, Av1Shows},
    // The file's own turn and mirror, as the file's order of them says.
    {"heif-turned.heic", FormatsAll, PictureHeif, "heif-turned.pam"},
    {"heif-mirrored.heic", FormatsAll, PictureHeif, "heif-mirrored.pam"},
    {"mislabelled.jpg", FormatsAll, PicturePng, "mislabelled.pam"},
    {"mislabelled.jpg", FormatsJpeg, PictureJpeg, nullptr},
    {"truncated-png-rgb.png", FormatsAll, PicturePng, nullptr},
    {"truncated-webp-lossy.webp", FormatsAll, PictureWebp, nullptr},
    {"truncated-heif-rgb.heic", FormatsAll, PictureHeif, nullptr},
    {"huge-png.png", FormatsAll, PicturePng, nullptr},
    {"huge-webp.webp", FormatsAll, PictureWebp, nullptr},
    {"huge-heif.heic", FormatsAll, PictureHeif, nullptr},
};

class Formats : public testing::TestWithParam<FormatCase> {};

TEST_P(Formats, ShowsWhatTheFormatsOwnToolShowsOrFails) {
    const FormatCase& c = GetParam();
    FILE* f = std::fopen(PicturePath(c.file).c_str(), "rb");
    ASSERT_NE(f, nullptr) << c.file;
    DibImage image;
    const int32_t box = c.box;
    const PictureKind kind = DecodePicture(&image, f, box, box * 3 / 4, SizeRuleFit, c.formats);
    std::fclose(f);
    EXPECT_EQ(kind, c.kind);
    EXPECT_TRUE(image.loaded);
    if (c.shows == nullptr) {
        EXPECT_TRUE(image.failed);
        return;
    }
    ASSERT_FALSE(image.failed);
    const Pam pam = ReadPam(c.shows);
    ASSERT_EQ(image.width, pam.width);
    ASSERT_EQ(image.height, pam.height);
    EXPECT_EQ(Mismatches(image, pam, c.tolerance), 0);
}

std::string CaseName(const testing::TestParamInfo<FormatCase>& info) {
    std::string name = std::to_string(info.index) + "_" + info.param.file;
    for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch)))
            ch = '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Table, Formats, testing::ValuesIn(Cases), CaseName);

#ifndef _WIN32
using Clock = std::chrono::steady_clock;
Clock::time_point g_stopAt;
int32_t StopWhenDue() {
    return Clock::now() >= g_stopAt ? 1 : 0;
}

// The decoding child waits for bytes that never come; only the stop check can end it. Without
// it the show would wait for the child's own time limit, most of a minute.
TEST(LibraryDecoder, TheStopCheckEndsAStuckDecoderAndTheNextPictureIsWhole) {
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    static const uint8_t Start[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13};
    ASSERT_EQ(write(pipeFds[1], Start, sizeof Start), static_cast<ssize_t>(sizeof Start));
    FILE* stuck = fdopen(pipeFds[0], "rb");
    ASSERT_NE(stuck, nullptr);
    DibImage image;
    const Clock::time_point start = Clock::now();
    g_stopAt = start + std::chrono::milliseconds(200);
    SetStopCheck(StopWhenDue);
    EXPECT_FALSE(RunLibraryDecoder(PicturePng, &image, stuck, 640, 480, SizeRuleFit));
    SetStopCheck(nullptr);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(10));
    std::fclose(stuck);
    close(pipeFds[1]);

    FILE* f = std::fopen(PicturePath("png-rgb.png").c_str(), "rb");
    ASSERT_NE(f, nullptr);
    EXPECT_TRUE(RunLibraryDecoder(PicturePng, &image, f, 1920, 1080, SizeRuleFit));
    std::fclose(f);
    const Pam pam = ReadPam("png-rgb.pam");
    ASSERT_EQ(image.width, pam.width);
    ASSERT_EQ(image.height, pam.height);
    EXPECT_EQ(Mismatches(image, pam, 0), 0);
}
#endif

}  // namespace
