#include "image/decoders/decode_runner.h"

bool RunLibraryDecoder(PictureKind kind, DibImage* image, FILE* stream, int32_t targetWidth,
                       int32_t targetHeight, SizeRule rule) {
    return DecodeWithLibrary(kind, image, stream, targetWidth, targetHeight, rule);
}
