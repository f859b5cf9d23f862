#include <gtest/gtest.h>

#include <vector>

#include "app/monitors.h"

// Global, so that the vector comparison finds it.
bool operator==(const MonitorArea& a, const MonitorArea& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

namespace {

TEST(Monitors, KeepsOneWindowPerDistinctScreenArea) {
    const MonitorArea full = {0, 0, 1024, 768};
    const MonitorArea left = {0, 0, 512, 768};
    const MonitorArea right = {512, 0, 512, 768};
    const MonitorArea beside = {1024, 0, 800, 600};
    const MonitorArea overlapping = {900, 100, 800, 600};
    struct Case {
        std::vector<MonitorArea> given;
        std::vector<MonitorArea> kept;
    };
    const Case cases[] = {
        {{full}, {full}},
        {{full, beside}, {full, beside}},
        // Halves set over the whole screen: the halves have the screens.
        {{full, left, right}, {left, right}},
        {{left, full, right}, {left, right}},
        // Mirrored outputs: one window.
        {{full, full}, {full}},
        {{left, right, left}, {left, right}},
        // Overlap without enclosure keeps both.
        {{full, overlapping}, {full, overlapping}},
        {{{0, 0, 0, 768}, full, {10, 10, -5, 5}}, {full}},
        {{}, {}},
    };
    for (const Case& c : cases) {
        std::vector<MonitorArea> areas = c.given;
        int32_t count = KeepDistinctMonitors(areas.data(), static_cast<int32_t>(areas.size()));
        areas.resize(static_cast<size_t>(count));
        EXPECT_EQ(areas, c.kept) << "case with " << c.given.size() << " areas";
    }
}

}  // namespace
