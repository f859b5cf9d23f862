#pragma once
// The picture files of a show and the order they are shown in. Built once per show, then only read.

#include <cstdint>
#include "base/platform_types.h"

constexpr int32_t MaxImages = 10000;

struct ImageCatalogue {
    char paths[MaxImages][MaxPath];
    int32_t count;
    int32_t playOrder[MaxImages];  // a permutation of 0..count-1 when the order is random
    int32_t orderPosition;         // -1 before the first advance
    int32_t currentIndex;          // entry of paths that the next frame shows
};

extern ImageCatalogue g_catalogue;

// Empties the catalogue and lists the folder (and, with subdirs, every folder below it): the
// names matching "*.jpg" with formats 0, every supported picture name with formats 1.
void BuildCatalogue(const char* folder, int32_t subdirs, int32_t formats = 0);
// Nonzero when a file name ends in one of the supported picture endings, in any case.
int32_t IsPictureName(const char* name);
// Appends the folder's pictures (of the formats of the build in progress), subfolders first, depth
// first, in the search's order. A folder that this build has scanned already, by whatever path,
// adds nothing.
void ScanFolder(const char* folder, int32_t subdirs);
// Shuffles playOrder from a seed taken from the millisecond part of the clock.
void ShuffleOrder();
void ShuffleOrderFrom(uint32_t seed);
void AdvanceImage(int32_t random);
const char* CurrentPath();
