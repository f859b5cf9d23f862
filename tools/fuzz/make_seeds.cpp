// Writes the seed corpus for image_fuzz: small pictures of every kind the tests make.
#include <cstdio>
#include <filesystem>
#include <string>
#include "test_jpeg.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: image_fuzz_seeds folder\n");
        return 2;
    }
    std::filesystem::create_directories(argv[1]);
    int n = 0;
    auto put = [&](const std::vector<uint8_t>& bytes) {
        std::string path = std::string(argv[1]) + "/seed-" + std::to_string(n++) + ".jpg";
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
    };
    JpegOptions o;
    o.width = 33;
    o.height = 17;
    put(EncodeJpeg(o));
    for (auto kind : {JpegKind::Grey, JpegKind::Cmyk, JpegKind::Ycck}) {
        JpegOptions k = o;
        k.kind = kind;
        k.lumaH = k.lumaV = 1;
        put(EncodeJpeg(k));
    }
    JpegOptions p = o;
    p.progressive = true;
    put(EncodeJpeg(p));
    JpegOptions a = o;
    a.arithmetic = true;
    a.restartRows = 1;
    put(EncodeJpeg(a));
    JpegOptions s = o;
    s.lumaH = 2, s.lumaV = 1;
    put(EncodeJpeg(s));
    s.lumaH = 1, s.lumaV = 2;
    s.width = 1;
    put(EncodeJpeg(s));
    // Exif blocks of every turn and mirror in both byte orders, one beside another APP1
    // block, one progressive: the tag parser and every orientation path.
    JpegOptions e = o;
    for (int orientation = 2; orientation <= 8; ++orientation) {
        e.app1 = {OrientationBlock(orientation, orientation % 2 == 0)};
        put(EncodeJpeg(e));
    }
    e.app1 = {{'h', 't', 't', 'p', ':', 0}, OrientationBlock(3, true)};
    put(EncodeJpeg(e));
    e.app1 = {OrientationBlock(6, false)};
    e.progressive = true;
    put(EncodeJpeg(e));
    put(TablesOnlyJpeg());
    std::printf("%d seeds in %s\n", n, argv[1]);
    return 0;
}
