#include "image/decoders/decode_jail.h"
#include "image/decoders/decode_runner.h"

bool RunLibraryDecoder(PictureKind kind, DibImage* image, FILE* stream, int32_t targetWidth,
                       int32_t targetHeight, SizeRule rule) {
    return DecodeWithLibrary(kind, image, stream, targetWidth, targetHeight, rule);
}

// Decodes run in the saver's own process here, bounded by their checks alone.
void LimitDecodeMemory(uint64_t, uint64_t) {}

int32_t LibraryDecoderProcess() {
    return 0;
}

void EndLibraryDecoder() {}
