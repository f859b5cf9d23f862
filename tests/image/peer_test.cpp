// Compares the pipeline with the library's own command-line decoder, which runs the same code
// with the same parameters: every byte must agree.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include "image/dib_image.h"
#include "image/display.h"
#include "test_jpeg.h"

namespace {
struct Ppm {
    int width = 0, height = 0, channels = 0;
    std::vector<uint8_t> data;
};

Ppm RunDjpeg(const std::string& arguments, const std::string& path) {
    Ppm ppm;
    std::string command = std::string(FV_DJPEG) + " " + arguments + " -ppm '" + path + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return ppm;
    }
    char magic[3] = {};
    int maxval = 0;
    if (std::fscanf(pipe, "%2s %d %d %d", magic, &ppm.width, &ppm.height, &maxval) == 4) {
        std::fgetc(pipe);
        ppm.channels = std::string(magic) == "P5" ? 1 : 3;
        ppm.data.resize(static_cast<size_t>(ppm.width) * ppm.height * ppm.channels);
        size_t got = std::fread(ppm.data.data(), 1, ppm.data.size(), pipe);
        ppm.data.resize(got);
    }
    pclose(pipe);
    return ppm;
}

// Counts pixels whose blue-green-red bytes differ from the peer's red-green-blue (or grey).
long Mismatches(const DibImage& image, const Ppm& ppm) {
    long bad = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const uint8_t* p = PixelAt(image, x, y);
            const uint8_t* q =
                ppm.data.data() + (static_cast<size_t>(y) * ppm.width + x) * ppm.channels;
            uint8_t r = q[0], g = ppm.channels == 3 ? q[1] : q[0],
                    b = ppm.channels == 3 ? q[2] : q[0];
            bad += p[0] != b || p[1] != g || p[2] != r;
        }
    return bad;
}

struct PeerCase {
    const char* name;
    JpegOptions options;
};

std::vector<PeerCase> PeerCases() {
    std::vector<PeerCase> cases;
    JpegOptions o;
    o.width = 517;
    o.height = 389;
    cases.push_back({"baseline420", o});
    JpegOptions p = o;
    p.progressive = true;
    cases.push_back({"progressive", p});
    JpegOptions s = o;
    s.lumaH = 2, s.lumaV = 1, s.restartRows = 2;
    cases.push_back({"422restarts", s});
    JpegOptions a = o;
    a.lumaH = 1, a.lumaV = 2, a.arithmetic = true;
    cases.push_back({"440arithmetic", a});
    JpegOptions f = o;
    f.lumaH = f.lumaV = 1, f.quality = 75;
    cases.push_back({"444", f});
    JpegOptions g = o;
    g.kind = JpegKind::Grey, g.lumaH = g.lumaV = 1;
    cases.push_back({"grey", g});
    return cases;
}
}  // namespace

TEST(Peer, DecodedPixelsEqualTheLibraryDecoder) {
    for (const PeerCase& c : PeerCases()) {
        std::string path =
            WriteTempFile(std::string("peer-") + c.name + ".jpg", EncodeJpeg(c.options));
        for (int n : {1, 2, 4, 8}) {
            SCOPED_TRACE(testing::Message() << c.name << " 1/" << n);
            // A box that makes the rule pick 1/n: n times smaller, within 1.5.
            int boxW = (c.options.width + n - 1) / n, boxH = (c.options.height + n - 1) / n;
            DibImage image;
            ASSERT_TRUE(DecodeFile(image, path, boxW, boxH));
            Ppm peer = RunDjpeg("-scale 1/" + std::to_string(n) + " -dct int", path);
            ASSERT_EQ(image.width, peer.width);
            ASSERT_EQ(image.height, peer.height);
            ASSERT_EQ(peer.data.size(),
                      static_cast<size_t>(peer.width) * peer.height * peer.channels);
            EXPECT_EQ(Mismatches(image, peer), 0);
        }
    }
}

TEST(Peer, PaletteIndicesGiveTheLibraryQuantizerColours) {
    ShowPaletteEntry palette[PaletteColours];
    ASSERT_TRUE(BuildShowPaletteEntries(palette));
    for (const PeerCase& c : PeerCases()) {
        if (c.options.kind == JpegKind::Grey) {
            continue;  // the peer quantizes grey to a grey ramp; the show always feeds colour
        }
        std::string path =
            WriteTempFile(std::string("quant-") + c.name + ".jpg", EncodeJpeg(c.options));
        for (int n : {1, 2}) {
            SCOPED_TRACE(testing::Message() << c.name << " 1/" << n);
            DibImage image;
            ASSERT_TRUE(DecodeFile(image, path, (c.options.width + n - 1) / n,
                                   (c.options.height + n - 1) / n));
            image.QuantizeToPalette();
            ASSERT_NE(image.indexPixels, nullptr);
            Ppm peer = RunDjpeg(
                "-scale 1/" + std::to_string(n) + " -dct int -onepass -colors 236 -dither fs",
                path);
            ASSERT_EQ(image.width, peer.width);
            ASSERT_EQ(image.height, peer.height);
            long bad = 0;
            int high = 0;
            for (int y = 0; y < image.height; ++y)
                for (int x = 0; x < image.width; ++x) {
                    int index = image.indexPixels[y * IndexStride(image.width) + x];
                    high = std::max(high, index);
                    // The colour table Draw builds: palette bytes copied as blue, green, red.
                    const ShowPaletteEntry& e = palette[index];
                    const uint8_t* q =
                        peer.data.data() + (static_cast<size_t>(y) * peer.width + x) * 3;
                    bad += e.blue != q[0] || e.green != q[1] || e.red != q[2];
                }
            EXPECT_EQ(bad, 0);
            EXPECT_LE(high, 215);
        }
    }
}
