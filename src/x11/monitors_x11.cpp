#include <X11/Xlib.h>
#include <X11/extensions/Xinerama.h>
#include <X11/extensions/Xrandr.h>
#include "x11/monitors_x11.h"

namespace {

int32_t FromRandr(Display* display, Window root, MonitorArea* areas) {
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) ||
        !XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5)) {
        return 0;
    }
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
    if (!monitors) {
        return 0;
    }
    int32_t n = 0;
    for (int i = 0; i < count && n < MaxMonitors; ++i) {
        areas[n++] = {monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height};
    }
    XRRFreeMonitors(monitors);
    return n;
}

int32_t FromXinerama(Display* display, MonitorArea* areas) {
    int eventBase = 0;
    int errorBase = 0;
    if (!XineramaQueryExtension(display, &eventBase, &errorBase) || !XineramaIsActive(display)) {
        return 0;
    }
    int count = 0;
    XineramaScreenInfo* screens = XineramaQueryScreens(display, &count);
    if (!screens) {
        return 0;
    }
    int32_t n = 0;
    for (int i = 0; i < count && n < MaxMonitors; ++i) {
        areas[n++] = {screens[i].x_org, screens[i].y_org, screens[i].width, screens[i].height};
    }
    XFree(screens);
    return n;
}

}  // namespace

int32_t ListMonitors(Display* display, int32_t screen, MonitorArea* areas) {
    Window root = RootWindow(display, screen);
    int32_t count = FromRandr(display, root, areas);
    if (count > 0) {
        count = KeepDistinctMonitors(areas, count);
    }
    if (count <= 0) {
        count = KeepDistinctMonitors(areas, FromXinerama(display, areas));
    }
    if (count <= 0) {
        areas[0] = {0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
        count = 1;
    }
    return count;
}
