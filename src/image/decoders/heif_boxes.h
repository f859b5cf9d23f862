#pragma once
// What a HEIF file asks of its decoder, read from its boxes by the show's own bounded reader
// before the library sees the file: the library trusts what it reads, and a few bytes that lie
// can make it take the machine's memory or end the process.

#include <cstdint>
#include <cstdio>

struct HeifPlan {
    uint32_t width = 0;  // of the primary picture as coded, before its transformations
    uint32_t height = 0;
    // Every picture decoded on the way to the primary one (tiles, overlays, alpha), by the
    // sizes their own headers and coded streams declare, the largest of them counted.
    uint64_t decodedPixels = 0;
    // The file's own turn and mirror of the primary picture, as an Exif orientation (1 to 8).
    int32_t orientation = 1;
};

// Reads the stream's boxes (seekable; left anywhere) into plan. False when the picture must not
// be handed to the library: boxes that cannot be read, a primary picture that is no picture,
// references to items that are missing or are no pictures, or sizes that are not declared in
// the headers and coded streams, or that the file's bytes cannot carry.
bool PlanHeifDecode(FILE* stream, uint64_t fileBytes, HeifPlan* plan);

// An orientation, then a turn of quarterTurns anticlockwise: the orientation of both together.
int32_t TurnOrientation(int32_t orientation, int32_t quarterTurns);
// An orientation, then a mirror left to right (or top to bottom): both together.
int32_t MirrorOrientation(int32_t orientation, bool topToBottom);
