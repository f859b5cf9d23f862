#include "test_jpeg.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <jpeglib.h>

namespace {
uint32_t Hash(uint32_t v) {
    v ^= v >> 16;
    v *= 0x7feb352dU;
    v ^= v >> 15;
    v *= 0x846ca68bU;
    v ^= v >> 16;
    return v;
}

// One folder per test process, removed when the process ends.
struct ScratchFolder {
    std::filesystem::path path;
    ScratchFolder() {
        std::random_device random;
        path = std::filesystem::temp_directory_path() /
               ("fv-image-test-" + std::to_string(random()) + std::to_string(random()));
        std::filesystem::create_directories(path);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
};

std::string ScratchDir() {
    static ScratchFolder folder;
    return folder.path.string();
}
}  // namespace

std::vector<uint8_t> PhotoSamples(int width, int height, int components, uint32_t seed) {
    std::vector<uint8_t> out(static_cast<size_t>(width) * height * components);
    size_t i = 0;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c) {
                // Smooth shading, a few edges and some grain, like a photograph.
                double v = 128 + 90 * std::sin(0.031 * x + 0.017 * y + 1.3 * c + seed) +
                           30 * std::cos(0.011 * x * (c + 1) - 0.023 * y);
                if (((x / 37) + (y / 29)) % 5 == 0) {
                    v = 255 - v;
                }
                v += static_cast<int>(Hash(seed * 7919u + static_cast<uint32_t>(i)) % 17) - 8;
                out[i++] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
            }
        }
    }
    return out;
}

std::vector<uint8_t> EncodeJpeg(const JpegOptions& o, const std::vector<uint8_t>& samples) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(o.width);
    cinfo.image_height = static_cast<JDIMENSION>(o.height);
    switch (o.kind) {
        case JpegKind::Colour:
            cinfo.input_components = 3;
            cinfo.in_color_space = JCS_RGB;
            break;
        case JpegKind::Grey:
            cinfo.input_components = 1;
            cinfo.in_color_space = JCS_GRAYSCALE;
            break;
        case JpegKind::Cmyk:
        case JpegKind::Ycck:
            cinfo.input_components = 4;
            cinfo.in_color_space = JCS_CMYK;
            break;
    }
    jpeg_set_defaults(&cinfo);
    if (o.kind == JpegKind::Ycck) {
        jpeg_set_colorspace(&cinfo, JCS_YCCK);
    }
    if (o.kind == JpegKind::Cmyk || o.kind == JpegKind::Ycck) {
        cinfo.write_Adobe_marker = o.adobeMarker ? TRUE : FALSE;
    }
    jpeg_set_quality(&cinfo, o.quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = o.lumaH;
    cinfo.comp_info[0].v_samp_factor = o.lumaV;
    for (int c = 1; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    cinfo.arith_code = o.arithmetic ? TRUE : FALSE;
    cinfo.restart_in_rows = o.restartRows;
    std::vector<jpeg_scan_info> script;
    if (o.endlessScans) {
        // DC, then every AC coefficient alone, one bit at a time.
        script.push_back({1, {0}, 0, 0, 0, 0});
        for (int k = 1; k < 64; ++k) {
            script.push_back({1, {0}, k, k, 0, 10});
            for (int al = 9; al >= 0; --al) {
                script.push_back({1, {0}, k, k, al + 1, al});
            }
        }
        cinfo.scan_info = script.data();
        cinfo.num_scans = static_cast<int>(script.size());
    } else if (o.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    for (const std::vector<uint8_t>& block : o.app1) {
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, block.data(), static_cast<unsigned>(block.size()));
    }
    const int components = cinfo.input_components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(
            samples.data() + static_cast<size_t>(cinfo.next_scanline) * o.width * components);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

std::vector<uint8_t> EncodeJpeg(const JpegOptions& o) {
    int components = o.kind == JpegKind::Colour ? 3 : o.kind == JpegKind::Grey ? 1 : 4;
    return EncodeJpeg(o, PhotoSamples(o.width, o.height, components, 1));
}

std::vector<uint8_t> OrientationBlock(int orientation, bool bigEndian) {
    std::vector<uint8_t> b = {'E', 'x', 'i', 'f', 0, 0};
    auto put = [&](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            b.push_back(static_cast<uint8_t>(v >> (bigEndian ? 8 * (bytes - 1 - i) : 8 * i)));
        }
    };
    put(bigEndian ? 0x4D4D : 0x4949, 2);
    put(42, 2);
    put(8, 4);
    // As cameras write it: make and model before the orientation, a resolution after it.
    const uint32_t entries[4][4] = {{0x010F, 2, 4, 0x43616D00},
                                    {0x0110, 2, 4, 0x58310000},
                                    {0x0112, 3, 1, static_cast<uint32_t>(orientation)},
                                    {0x011A, 5, 1, 0x100}};
    put(4, 2);
    for (const auto& e : entries) {
        put(e[0], 2);
        put(e[1], 2);
        put(e[2], 4);
        put(e[3], e[1] == 3 ? 2 : 4);  // a SHORT sits first in the value field
        put(0, e[1] == 3 ? 2 : 0);
    }
    put(0, 4);  // no next IFD
    return b;
}

std::vector<uint8_t> TablesOnlyJpeg() {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_write_tables(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

std::string WriteTempFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::string path = (std::filesystem::path(ScratchDir()) / name).string();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f != nullptr) {
        if (!bytes.empty()) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
        }
        std::fclose(f);
    }
    return path;
}

bool DecodeFile(DibImage& image, const std::string& path, int32_t boxWidth, int32_t boxHeight,
                SizeRule rule) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return false;
    }
    image.Decode(f, boxWidth, boxHeight, rule);
    std::fclose(f);
    return true;
}

void PatchFrameSize(std::vector<uint8_t>& jpeg, int width, int height) {
    size_t i = 2;
    while (i + 9 < jpeg.size() && jpeg[i] == 0xFF) {
        uint8_t m = jpeg[i + 1];
        bool frame = m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC;
        if (frame) {
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            return;
        }
        i += 2 + (static_cast<size_t>(jpeg[i + 2]) << 8 | jpeg[i + 3]);
    }
}
