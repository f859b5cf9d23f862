#include "image/decoders/decode_picture.h"

#include <cstring>
#include "base/trace.h"
#include "image/decoders/decode_runner.h"

PictureKind SniffPicture(const uint8_t* head, size_t length) {
    static const uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (length >= 8 && std::memcmp(head, PngSignature, 8) == 0) {
        return PicturePng;
    }
    if (length >= 12 && std::memcmp(head, "RIFF", 4) == 0 &&
        std::memcmp(head + 8, "WEBP", 4) == 0) {
        return PictureWebp;
    }
    // Every HEIF file opens with its file-type box; the library tells the brands it reads.
    if (length >= 12 && std::memcmp(head + 4, "ftyp", 4) == 0) {
        return PictureHeif;
    }
    return PictureJpeg;
}

const char* PictureKindName(PictureKind kind) {
    switch (kind) {
        case PicturePng:
            return "png";
        case PictureWebp:
            return "webp";
        case PictureHeif:
            return "heif";
        default:
            return "jpeg";
    }
}

int64_t StreamBytes(FILE* stream) {
    if (std::fseek(stream, 0, SEEK_END) != 0) {
        return -1;
    }
    const long size = std::ftell(stream);
    if (std::fseek(stream, 0, SEEK_SET) != 0) {
        return -1;
    }
    return size;
}

PictureKind DecodePicture(DibImage* image, FILE* stream, int32_t targetWidth, int32_t targetHeight,
                          SizeRule rule, int32_t formats) {
    PictureKind kind = PictureJpeg;
    if (formats != FormatsJpeg && stream != nullptr) {
        uint8_t head[12];
        const size_t got = std::fread(head, 1, sizeof head, stream);
        kind = SniffPicture(head, got);
        if (std::fseek(stream, 0, SEEK_SET) != 0) {
            image->Release();
            image->loaded = 1;
            image->failed = 1;
            return kind;
        }
    }
    if (kind == PictureJpeg) {
        image->Decode(stream, targetWidth, targetHeight, rule);
        return kind;
    }
    image->Release();
    image->loaded = 1;
    const bool decoded = RunLibraryDecoder(kind, image, stream, targetWidth, targetHeight, rule);
    if (!decoded) {
        Trace("picture: not decoded");
        image->failed = 1;
    }
    return kind;
}

bool DecodeWithLibrary(PictureKind kind, DibImage* image, FILE* stream, int32_t targetWidth,
                       int32_t targetHeight, SizeRule rule) {
    switch (kind) {
        case PicturePng:
            return DecodePng(image, stream, targetWidth, targetHeight, rule);
        case PictureWebp:
            return DecodeWebp(image, stream, targetWidth, targetHeight, rule);
        case PictureHeif:
            return DecodeHeif(image, stream, targetWidth, targetHeight, rule);
        default:
            return false;
    }
}
