#pragma once
// The screen areas that the standalone saver covers, one window each.

#include <cstdint>

struct MonitorArea {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

constexpr int32_t MaxMonitors = 16;

// Drops empty areas, repeats (mirrored outputs) and any area that holds another whole: the
// smaller areas are the ones with their own screens. Returns the new count.
int32_t KeepDistinctMonitors(MonitorArea* areas, int32_t count);
