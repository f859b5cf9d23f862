#pragma once
// Where each output column (or row) of a fit samples the source, and with what weights
// (fractions of 256). The grid starts on source index 0 and steps source/target apart.

#include <cstdint>

struct SampleEntry {
    int32_t nearIndex;
    int32_t farIndex;
    int32_t nearWeight;
    int32_t farWeight;
};

// Fills entries[0 .. target - 1] for a source of `source` samples (source >= 1, target >= 1).
void BuildSampleTable(int32_t source, int32_t target, SampleEntry* entries);
