#include "app/monitors.h"

namespace {

bool Holds(const MonitorArea& outer, const MonitorArea& inner) {
    return outer.x <= inner.x && outer.y <= inner.y &&
           outer.x + outer.width >= inner.x + inner.width &&
           outer.y + outer.height >= inner.y + inner.height;
}

bool Same(const MonitorArea& a, const MonitorArea& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

}  // namespace

int32_t KeepDistinctMonitors(MonitorArea* areas, int32_t count) {
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        const MonitorArea& area = areas[i];
        bool drop = area.width <= 0 || area.height <= 0;
        for (int32_t j = 0; j < count && !drop; ++j) {
            if (j == i || areas[j].width <= 0 || areas[j].height <= 0) {
                continue;
            }
            // Of two equal areas the first stays.
            drop = Same(area, areas[j]) ? j < i : Holds(area, areas[j]);
        }
        if (!drop) {
            areas[kept++] = area;
        }
    }
    return kept;
}
