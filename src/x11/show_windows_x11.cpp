#include "x11/show_windows_x11.h"

#include <poll.h>
#include <unistd.h>
#include <ctime>
#include "app/close_rules.h"
#include "app/monitors.h"
#include "x11/termination.h"
#include "image/display.h"
#include "x11/draw_x11.h"
#include "x11/render_x11.h"

namespace {

struct ShowWindow {
    Window window = 0;
    GC gc = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    bool ours = false;
    ShowEngine engine;
};

Display* g_display = nullptr;
ShowWindow g_windows[MaxMonitors];
int32_t g_windowCount = 0;
Cursor g_blankCursor = 0;
Atom g_deleteWindow = 0;
bool g_windowGone = false;
bool g_inputEnds = false;    // our own windows: input ends the show; a host's: never
bool g_pointerEnds = false;  // standalone: so does pointer travel
bool g_inputSeen = false;

bool Running() {
    return !TerminationRequested() && !g_windowGone && !g_inputSeen;
}

Bool IsEndingInput(Display*, XEvent* event, XPointer) {
    return event->type == KeyPress || event->type == ButtonPress;
}

GC MakeGc(Window window) {
    XGCValues values = {};
    values.graphics_exposures = False;
    return XCreateGC(g_display, window, GCGraphicsExposures, &values);
}

ShowWindow& AddWindow(Window window, int32_t width, int32_t height, bool ours) {
    ShowWindow& show = g_windows[g_windowCount++];
    show.window = window;
    show.gc = MakeGc(window);
    show.width = width;
    show.height = height;
    show.ours = ours;
    return show;
}

void UseDefaultVisual() {
    int screen = DefaultScreen(g_display);
    UseX11Visual(g_display, DefaultVisual(g_display, screen), DefaultDepth(g_display, screen),
                 DefaultColormap(g_display, screen), true);
}

Cursor MakeBlankCursor(Window window) {
    char none = 0;
    Pixmap empty = XCreateBitmapFromData(g_display, window, &none, 1, 1);
    XColor black = {};
    Cursor cursor = XCreatePixmapCursor(g_display, empty, empty, &black, &black, 0, 0);
    XFreePixmap(g_display, empty);
    return cursor;
}

Window MakeWindow(const MonitorArea& area, bool overrideRedirect, long events) {
    int screen = DefaultScreen(g_display);
    XSetWindowAttributes attributes = {};
    attributes.background_pixel = BlackPixel(g_display, screen);
    attributes.override_redirect = overrideRedirect ? True : False;
    attributes.event_mask = events;
    return XCreateWindow(g_display, RootWindow(g_display, screen), area.x, area.y,
                         static_cast<unsigned>(area.width), static_cast<unsigned>(area.height), 0,
                         CopyFromParent, InputOutput, CopyFromParent,
                         CWBackPixel | CWOverrideRedirect | CWEventMask, &attributes);
}

// Grabs can fail for a moment while another client (a menu, a host) still holds them.
void GrabInput(Window window) {
    XSetInputFocus(g_display, window, RevertToParent, CurrentTime);
    for (int attempt = 0; attempt < 20 && Running(); ++attempt) {
        if (XGrabKeyboard(g_display, window, True, GrabModeAsync, GrabModeAsync, CurrentTime) ==
            GrabSuccess) {
            break;
        }
        usleep(50000);
    }
    for (int attempt = 0; attempt < 20 && Running(); ++attempt) {
        if (XGrabPointer(g_display, window, True, ButtonPressMask | PointerMotionMask,
                         GrabModeAsync, GrabModeAsync, None, g_blankCursor,
                         CurrentTime) == GrabSuccess) {
            break;
        }
        usleep(50000);
    }
}

// Colours that did not fit the shared colormap went to a private one, which our windows wear.
void UsePrivateColormap() {
    if (!g_x11.privateColormap) {
        return;
    }
    for (int32_t i = 0; i < g_windowCount; ++i) {
        XSetWindowColormap(g_display, g_windows[i].window, g_x11.colormap);
        // The default black is a cell of the shared colormap; the palette ends in black.
        XSetWindowBackground(g_display, g_windows[i].window,
                             g_x11.palettePixels[PaletteColours - 1]);
    }
    XInstallColormap(g_display, g_x11.colormap);
}

ShowWindow* FindWindow(Window window) {
    for (int32_t i = 0; i < g_windowCount; ++i) {
        if (g_windows[i].window == window) {
            return &g_windows[i];
        }
    }
    return nullptr;
}

void DrawFrame(ShowWindow& show) {
    RenderX11Frame(show.engine, show.window, show.gc, show.width, show.height);
}

// As the Windows saver starts: the count begins at the timer's first call, and the first
// frame follows at once.
void StartShows() {
    PrepareDisplay();
    UsePrivateColormap();
    BeginShowOrder();
    for (int32_t i = 0; i < g_windowCount && Running(); ++i) {
        ShowEngine& engine = g_windows[i].engine;
        engine.keepsLastFrame = 1;
        BeginShowEngine(engine);
        if (CountShowTick(engine)) {
            DrawFrame(g_windows[i]);
        }
        DrawFrame(g_windows[i]);
        engine.firstFramePending = 0;
    }
}

void StopShows() {
    for (int32_t i = 0; i < g_windowCount; ++i) {
        ShowWindow& show = g_windows[i];
        DropBackBuffer(show.engine);
        show.engine.image.Release();
        if (show.gc) {
            XFreeGC(g_display, show.gc);
        }
        if (show.ours && !g_windowGone) {
            XDestroyWindow(g_display, show.window);
        }
    }
    g_windowCount = 0;
    ReleaseX11Display();
    if (g_blankCursor) {
        XFreeCursor(g_display, g_blankCursor);
        g_blankCursor = 0;
    }
}

void HandleEvent(const XEvent& event, const SaverState& state) {
    ShowWindow* show = FindWindow(event.xany.window);
    switch (event.type) {
        case Expose:
            if (show && event.xexpose.count == 0) {
                RestoreX11Frame(show->engine, show->window, show->gc);
            }
            break;
        case ConfigureNotify:
            if (show) {
                show->width = event.xconfigure.width;
                show->height = event.xconfigure.height;
            }
            break;
        case DestroyNotify:
            if (show) {
                g_windowGone = true;
            }
            break;
        case KeyPress:
        case ButtonPress:
            g_inputSeen = g_inputEnds;
            break;
        case MotionNotify:
            if (g_pointerEnds &&
                MouseBeyondThreshold(state, {event.xmotion.x_root, event.xmotion.y_root})) {
                g_inputSeen = true;
            }
            break;
        case ClientMessage:
            if (g_deleteWindow && static_cast<Atom>(event.xclient.data.l[0]) == g_deleteWindow) {
                g_inputSeen = true;
            }
            break;
        default:
            break;
    }
}

int64_t NowMs() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

}  // namespace

int OnShowXError(Display*, XErrorEvent* error) {
    // A back buffer the server could not make also reports BadDrawable: only a show window
    // that went away ends the show.
    bool showWindow = FindWindow(error->resourceid) != nullptr || g_windowCount == 0;
    if ((error->error_code == BadWindow || error->error_code == BadDrawable) && showWindow) {
        g_windowGone = true;
    }
    return 0;
}

int32_t ShowStopRequested() {
    if (!Running()) {
        return 1;
    }
    if (g_inputEnds && g_display && XPending(g_display) > 0) {
        XEvent event;
        if (XCheckIfEvent(g_display, &event, IsEndingInput, nullptr)) {
            g_inputSeen = true;
        }
    }
    return Running() ? 0 : 1;
}

// Only events that any number of clients may select: the host may hold the button presses.
bool OpenHostWindow(Display* display, Window window) {
    g_display = display;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(g_display, window, &attributes) || g_windowGone) {
        return false;
    }
    UseX11Visual(g_display, attributes.visual, attributes.depth, attributes.colormap, false);
    XSelectInput(g_display, window, ExposureMask | StructureNotifyMask);
    AddWindow(window, attributes.width, attributes.height, false);
    return true;
}

void OpenStandaloneWindows(Display* display, SaverState* state) {
    g_display = display;
    MonitorArea areas[MaxMonitors];
    int32_t count = ListMonitors(g_display, DefaultScreen(g_display), areas);
    UseDefaultVisual();
    const long events =
        ExposureMask | StructureNotifyMask | KeyPressMask | ButtonPressMask | PointerMotionMask;
    for (int32_t i = 0; i < count; ++i) {
        Window window = MakeWindow(areas[i], true, events);
        if (!g_blankCursor) {
            g_blankCursor = MakeBlankCursor(window);
        }
        XDefineCursor(g_display, window, g_blankCursor);
        XMapRaised(g_display, window);
        AddWindow(window, areas[i].width, areas[i].height, true);
    }
    g_inputEnds = true;
    g_pointerEnds = true;
    XSync(g_display, False);
    GrabInput(g_windows[0].window);
    Window root = 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned mask = 0;
    XQueryPointer(g_display, g_windows[0].window, &root, &child, &x, &y, &windowX, &windowY, &mask);
    state->cursorBaseline = {x, y};
}

void OpenOwnWindow(Display* display) {
    g_display = display;
    MonitorArea area = {0, 0, 800, 600};
    UseDefaultVisual();
    Window window = MakeWindow(area, false, ExposureMask | StructureNotifyMask | KeyPressMask);
    XStoreName(g_display, window, "Fotovane");
    g_deleteWindow = XInternAtom(g_display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(g_display, window, &g_deleteWindow, 1);
    XMapWindow(g_display, window);
    AddWindow(window, area.width, area.height, true);
    g_inputEnds = true;
}

// One tick a second from the monotonic clock, so hours of ticks do not drift; the wait also
// wakes for X events and for a termination signal.
void RunShowWindows(const SaverState& state) {
    StartShows();
    int64_t nextTick = NowMs() + ShowTickMs;
    const int connection = ConnectionNumber(g_display);
    const int wake = TerminationWakeFd();
    while (Running()) {
        while (Running() && XPending(g_display) > 0) {
            XEvent event;
            XNextEvent(g_display, &event);
            HandleEvent(event, state);
        }
        if (!Running()) {
            break;
        }
        int64_t now = NowMs();
        if (now >= nextTick) {
            // Ticks missed behind a long frame fold into one, as window timers do.
            while (nextTick <= now) {
                nextTick += ShowTickMs;
            }
            for (int32_t i = 0; i < g_windowCount && Running(); ++i) {
                if (CountShowTick(g_windows[i].engine)) {
                    DrawFrame(g_windows[i]);
                }
            }
            continue;
        }
        XFlush(g_display);
        pollfd waits[2] = {{connection, POLLIN, 0}, {wake, POLLIN, 0}};
        int ready = poll(waits, wake >= 0 ? 2 : 1, static_cast<int>(nextTick - now));
        if (ready > 0 && (waits[0].revents & (POLLERR | POLLHUP))) {
            break;
        }
    }
    StopShows();
}
