// fotovane: the show on X11, standalone full screen, in a window of its own, or in a window
// that a screen-saver host (XScreenSaver, xsecurelock) hands it.

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include "app/close_rules.h"
#include "app/monitors.h"
#include "app/options.h"
#include "app/pictures_folder.h"
#include "app/saver_state.h"
#include "image/display.h"
#include "image/draw_x11.h"
#include "image/stop_check.h"
#include "settings/settings.h"
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

volatile sig_atomic_t g_terminate = 0;
int g_wakePipe[2] = {-1, -1};
bool g_windowGone = false;
bool g_inputEnds = false;  // standalone: a key or a button ends the show
bool g_inputSeen = false;

Display* g_display = nullptr;
ShowWindow g_windows[MaxMonitors];
int32_t g_windowCount = 0;
Cursor g_blankCursor = 0;
Atom g_deleteWindow = 0;

void OnTerminate(int) {
    g_terminate = 1;
    int saved = errno;
    if (g_wakePipe[1] >= 0) {
        ssize_t ignored = write(g_wakePipe[1], "x", 1);
        (void)ignored;
    }
    errno = saved;
}

// A window that went away ends the show quietly; anything else costs at most one frame.
int OnXError(Display*, XErrorEvent* error) {
    if (error->error_code == BadWindow || error->error_code == BadDrawable) {
        g_windowGone = true;
    }
    return 0;
}

int OnXConnectionLost(Display*) {
    _exit(0);
}

Bool IsEndingInput(Display*, XEvent* event, XPointer) {
    return event->type == KeyPress || event->type == ButtonPress;
}

// Long work gives way to SIGTERM, and in the standalone show to a key or a button.
int32_t StopRequested() {
    if (g_terminate || g_windowGone || g_inputSeen) {
        return 1;
    }
    if (g_inputEnds && XPending(g_display) > 0) {
        XEvent event;
        if (XCheckIfEvent(g_display, &event, IsEndingInput, nullptr)) {
            g_inputSeen = true;
        }
    }
    return g_terminate || g_inputSeen ? 1 : 0;
}

bool Running() {
    return !g_terminate && !g_windowGone && !g_inputSeen;
}

void InstallSignals() {
    if (pipe(g_wakePipe) == 0) {
        for (int fd : g_wakePipe) {
            fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
            fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    struct sigaction action = {};
    action.sa_handler = OnTerminate;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

void LoadShowSettings(const ProgramOptions& options) {
    LoadSettings();
    char pictures[MaxPath];
    DefaultPicturesFolder(pictures);
    ReadStringValue(g_settings.path, "path", pictures);
    ApplyOptions(options, &g_settings);
    if (options.save) {
        SaveSettings();
    }
}

GC MakeGc(Window window) {
    XGCValues values = {};
    values.graphics_exposures = False;
    return XCreateGC(g_display, window, GCGraphicsExposures, &values);
}

// The host's window: its visual and colormap are the host's, and only events that any number
// of clients may select are asked for.
bool UseHostWindow(Window window) {
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(g_display, window, &attributes) || g_windowGone) {
        return false;
    }
    UseX11Visual(g_display, attributes.visual, attributes.depth, attributes.colormap, false);
    XSelectInput(g_display, window, ExposureMask | StructureNotifyMask);
    ShowWindow& show = g_windows[g_windowCount++];
    show.window = window;
    show.gc = MakeGc(window);
    show.width = attributes.width;
    show.height = attributes.height;
    return true;
}

Window HostWindowOf(const ProgramOptions& options) {
    if (options.place == PlaceWindowId) {
        return options.windowId;
    }
    unsigned long id = 0;
    const char* named = std::getenv("XSCREENSAVER_WINDOW");
    if (named && ParseWindowId(named, &id)) {
        return id;
    }
    return DefaultRootWindow(g_display);
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

void AddOwnWindow(Window window, const MonitorArea& area) {
    ShowWindow& show = g_windows[g_windowCount++];
    show.window = window;
    show.gc = MakeGc(window);
    show.width = area.width;
    show.height = area.height;
    show.ours = true;
}

void UseDefaultVisual() {
    int screen = DefaultScreen(g_display);
    UseX11Visual(g_display, DefaultVisual(g_display, screen), DefaultDepth(g_display, screen),
                 DefaultColormap(g_display, screen), true);
}

// Grabs can fail for a moment while another client (a menu, a host) still holds them.
void GrabInput(Window window) {
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

void OpenStandalone() {
    int screen = DefaultScreen(g_display);
    MonitorArea areas[MaxMonitors];
    int32_t count = ListMonitors(g_display, screen, areas);
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
        AddOwnWindow(window, areas[i]);
    }
    g_inputEnds = true;
}

void OpenOwnWindow() {
    MonitorArea area = {0, 0, 800, 600};
    UseDefaultVisual();
    Window window = MakeWindow(area, false, ExposureMask | StructureNotifyMask | KeyPressMask);
    XStoreName(g_display, window, "Fotovane");
    g_deleteWindow = XInternAtom(g_display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(g_display, window, &g_deleteWindow, 1);
    XMapWindow(g_display, window);
    AddOwnWindow(window, area);
    g_inputEnds = true;
}

// Colours that did not fit the shared colormap went to a private one, which our windows wear.
void UsePrivateColormap() {
    if (!g_x11.privateColormap) {
        return;
    }
    for (int32_t i = 0; i < g_windowCount; ++i) {
        XSetWindowColormap(g_display, g_windows[i].window, g_x11.colormap);
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

void StartShows() {
    PrepareDisplay();
    UsePrivateColormap();
    BeginShowOrder();
    for (int32_t i = 0; i < g_windowCount && Running(); ++i) {
        ShowEngine& engine = g_windows[i].engine;
        engine.keepsLastFrame = 1;
        engine.tickCount = 0;
        engine.firstFramePending = 1;
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
    ReleaseX11Display();
    if (g_blankCursor) {
        XFreeCursor(g_display, g_blankCursor);
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
            if (g_inputEnds && g_deleteWindow == 0 &&
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

void RunShows(const SaverState& state) {
    int64_t nextTick = NowMs() + ShowTickMs;
    const int connection = ConnectionNumber(g_display);
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
        pollfd waits[2] = {{connection, POLLIN, 0}, {g_wakePipe[0], POLLIN, 0}};
        int ready = poll(waits, g_wakePipe[0] >= 0 ? 2 : 1, static_cast<int>(nextTick - now));
        if (ready > 0 && (waits[0].revents & (POLLERR | POLLHUP))) {
            break;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    ProgramOptions options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "%s\n", UsageText);
        return 2;
    }
    InstallSignals();
    SetStopCheck(StopRequested);
    LoadShowSettings(options);
    SaverState state;
    state.LoadSystemOptions();

    g_display = XOpenDisplay(nullptr);
    if (!g_display) {
        std::fprintf(stderr, "fotovane: cannot open display\n");
        return 1;
    }
    XSetErrorHandler(OnXError);
    XSetIOErrorHandler(OnXConnectionLost);

    int status = 0;
    if (options.place == PlaceWindowId || options.place == PlaceRoot) {
        if (!UseHostWindow(HostWindowOf(options))) {
            status = 1;
        }
    } else if (options.place == PlaceOwnWindow) {
        OpenOwnWindow();
    } else {
        OpenStandalone();
        XSync(g_display, False);
        GrabInput(g_windows[0].window);
        Window root = 0;
        Window child = 0;
        int x = 0;
        int y = 0;
        int winX = 0;
        int winY = 0;
        unsigned mask = 0;
        XQueryPointer(g_display, g_windows[0].window, &root, &child, &x, &y, &winX, &winY, &mask);
        state.cursorBaseline = {x, y};
    }
    if (status == 0) {
        StartShows();
        RunShows(state);
        StopShows();
    }
    XCloseDisplay(g_display);
    return status;
}
