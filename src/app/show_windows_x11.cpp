#include "app/show_windows_x11.h"

#include <poll.h>
#include <unistd.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include "app/close_rules.h"
#include "app/folder_problem.h"
#include "app/monitors.h"
#include "app/termination.h"
#include "image/display.h"
#include "image/draw_x11.h"
#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/render_x11.h"

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
bool g_displayPrepared = false;
// Shown instead of pictures when the folder gave none.
const char* g_notice = nullptr;
XFontStruct* g_noticeFont = nullptr;
unsigned long g_noticeInk = 0;
unsigned long g_noticePaper = 0;

bool Running() {
    return !TerminationRequested() && !g_windowGone && !g_inputSeen;
}

ShowWindow* FindWindow(Window window);

// What long work must not wait for: a show window destroyed, or input that ends the show.
Bool IsEndingEvent(Display*, XEvent* event, XPointer) {
    if (event->type == DestroyNotify) {
        return FindWindow(event->xdestroywindow.window) != nullptr;
    }
    return g_inputEnds && (event->type == KeyPress || event->type == ButtonPress);
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

// Grabs can fail for a moment while another client (a menu, a host) still holds them. Null
// when both are ours (or the show is ending anyway), else what another client keeps.
const char* GrabInput(Window root) {
    bool keyboard = false;
    bool pointer = false;
    for (int attempt = 0; attempt < 20 && Running() && !(keyboard && pointer); ++attempt) {
        if (attempt > 0) {
            usleep(50000);
        }
        keyboard = keyboard || XGrabKeyboard(g_display, root, True, GrabModeAsync, GrabModeAsync,
                                             CurrentTime) == GrabSuccess;
        pointer =
            pointer ||
            XGrabPointer(g_display, root, True, ButtonPressMask | PointerMotionMask, GrabModeAsync,
                         GrabModeAsync, None, g_blankCursor, CurrentTime) == GrabSuccess;
    }
    if (!Running() || (keyboard && pointer)) {
        return nullptr;
    }
    if (keyboard) {
        XUngrabKeyboard(g_display, CurrentTime);
    }
    if (pointer) {
        XUngrabPointer(g_display, CurrentTime);
    }
    return !keyboard ? "keyboard" : "pointer";
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

// Once per show, before our windows are mapped where we map them: an 8-bit screen must not
// show them first in the shared colormap's colours.
void PrepareColours() {
    if (!g_displayPrepared) {
        PrepareDisplay();
        UsePrivateColormap();
        g_displayPrepared = true;
    }
}

ShowWindow* FindWindow(Window window) {
    for (int32_t i = 0; i < g_windowCount; ++i) {
        if (g_windows[i].window == window) {
            return &g_windows[i];
        }
    }
    return nullptr;
}

unsigned long NamedPixel(const char* name, unsigned long fallback) {
    XColor colour = {};
    XColor exact = {};
    if (XAllocNamedColor(g_display, g_x11.colormap, name, &colour, &exact)) {
        return colour.pixel;
    }
    return fallback;
}

void PrepareNotice() {
    const char* fonts[] = {"-*-helvetica-bold-r-normal--24-*-*-*-*-*-iso8859-1",
                           "-misc-fixed-bold-r-normal--18-*-*-*-*-*-iso8859-1", "10x20", "fixed"};
    for (const char* font : fonts) {
        if (!g_noticeFont) {
            g_noticeFont = XLoadQueryFont(g_display, font);
        }
    }
    int screen = DefaultScreen(g_display);
    g_noticeInk = NamedPixel("gray80", WhitePixel(g_display, screen));
    g_noticePaper = NamedPixel("black", BlackPixel(g_display, screen));
}

// The notice alone, centred on black.
void DrawNotice(const ShowWindow& show) {
    XSetForeground(g_display, show.gc, g_noticePaper);
    XFillRectangle(g_display, show.window, show.gc, 0, 0, static_cast<unsigned>(show.width),
                   static_cast<unsigned>(show.height));
    if (!g_noticeFont) {
        return;
    }
    const int length = static_cast<int>(std::strlen(g_notice));
    int x = (show.width - XTextWidth(g_noticeFont, g_notice, length)) / 2;
    int y = (show.height + g_noticeFont->ascent - g_noticeFont->descent) / 2;
    XSetFont(g_display, show.gc, g_noticeFont->fid);
    XSetForeground(g_display, show.gc, g_noticeInk);
    XDrawString(g_display, show.window, show.gc, x, y, g_notice, length);
    XFlush(g_display);
}

void DrawFrame(ShowWindow& show) {
    if (g_notice) {
        DrawNotice(show);
        return;
    }
    RenderX11Frame(show.engine, show.window, show.gc, show.width, show.height);
}

// No picture to show: one line for the log, a notice for the screen.
void TellNoPictures() {
    char line[2 * MaxPath];
    DescribeNoPictures(g_settings.path, g_settings.subdirs, line, sizeof line, &g_notice);
    std::fprintf(stderr, "%s\n", line);
    PrepareNotice();
}

// As the Windows saver starts: the count begins at the timer's first call, and the first
// frame follows at once.
void StartShows() {
    PrepareColours();
    BeginShowOrder();
    if (g_catalogue.count == 0 && Running()) {
        TellNoPictures();
    }
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
    g_displayPrepared = false;
    if (g_noticeFont) {
        XFreeFont(g_display, g_noticeFont);
        g_noticeFont = nullptr;
    }
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
                if (g_notice) {
                    DrawNotice(*show);
                } else {
                    RestoreX11Frame(show->engine, show->window, show->gc);
                }
            }
            break;
        case ConfigureNotify:
            if (show) {
                show->width = event.xconfigure.width;
                show->height = event.xconfigure.height;
                if (g_notice) {
                    DrawNotice(*show);
                }
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
    if (g_display && g_windowCount > 0 && XPending(g_display) > 0) {
        XEvent event;
        if (XCheckIfEvent(g_display, &event, IsEndingEvent, nullptr)) {
            g_windowGone = g_windowGone || event.type == DestroyNotify;
            g_inputSeen = g_inputSeen || event.type != DestroyNotify;
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

bool OpenStandaloneWindows(Display* display, SaverState* state) {
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
        AddWindow(window, areas[i].width, areas[i].height, true);
    }
    g_inputEnds = true;
    g_pointerEnds = true;
    // Input first: a screen covered by a saver that no key or click can end is worse than none.
    if (const char* held = GrabInput(DefaultRootWindow(g_display))) {
        std::fprintf(stderr,
                     "fotovane: another program holds the %s, so nothing could end the "
                     "show; not starting\n",
                     held);
        StopShows();
        return false;
    }
    PrepareColours();
    for (int32_t i = 0; i < g_windowCount; ++i) {
        XMapRaised(g_display, g_windows[i].window);
    }
    XSync(g_display, False);
    XSetInputFocus(g_display, g_windows[0].window, RevertToParent, CurrentTime);
    Window root = 0;
    Window child = 0;
    int x = 0;
    int y = 0;
    int windowX = 0;
    int windowY = 0;
    unsigned mask = 0;
    XQueryPointer(g_display, g_windows[0].window, &root, &child, &x, &y, &windowX, &windowY, &mask);
    state->cursorBaseline = {x, y};
    return true;
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
