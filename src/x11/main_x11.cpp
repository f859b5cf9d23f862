// fotovane: the show on X11, standalone full screen, in a window of its own, or in a window
// that a screen-saver host (XScreenSaver, xsecurelock) hands it.

#include <X11/Xlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "app/options.h"
#include "app/pictures_folder.h"
#include "app/saver_state.h"
#include "x11/show_windows_x11.h"
#include "x11/termination.h"
#include "app/xscreensaver_join.h"
#include "image/stop_check.h"
#include "settings/settings.h"

namespace {

int OnXConnectionLost(Display*) {
    _exit(0);
}

// A folder given relative to where the command ran: hosts start savers elsewhere, and a saved
// setting must name the same folder later.
void MakeFolderAbsolute(ProgramOptions* options) {
    char base[MaxPath];
    if (!options->hasFolder || options->folder[0] == '/' || !getcwd(base, sizeof base)) {
        return;
    }
    char joined[2 * MaxPath + 2];
    std::snprintf(joined, sizeof joined, "%s/%s", base, options->folder);
    if (std::strlen(joined) < static_cast<size_t>(MaxPath)) {
        std::strcpy(options->folder, joined);
    }
}

bool IsFolder(const char* path) {
    struct stat info;
    return stat(path, &info) == 0 && S_ISDIR(info.st_mode);
}

// XScreenSaver's settings tool may wrap a long command line inside the folder's name; the
// blanks it put there are not part of the name.
void RepairWrappedFolder(ProgramOptions* options) {
    char unwrapped[MaxPath];
    if (options->hasFolder && !IsFolder(options->folder) &&
        UnwrapFolder(options->folder, unwrapped) && IsFolder(unwrapped)) {
        std::strcpy(options->folder, unwrapped);
    }
}

// False when --save could not store the settings (the store has said why).
bool LoadShowSettings(ProgramOptions options) {
    RepairWrappedFolder(&options);
    MakeFolderAbsolute(&options);
    char pictures[MaxPath];
    DefaultPicturesFolder(pictures);
    if (options.defaults) {
        // Only what the command line says: the settings page of XScreenSaver runs it so.
        g_settings = {DefaultDelay, DefaultPosition, 0, 0, 0, 0, {}, DefaultFormats};
        std::strcpy(g_settings.path, pictures);
    } else {
        LoadSettings();
        ReadStringValue(g_settings.path, "path", pictures);
    }
    ApplyOptions(options, &g_settings);
    return !options.save || SaveSettings();
}

// XScreenSaver writes the window in hex, xsecurelock in decimal; unset means the root window.
Window HostWindowOf(Display* display, const ProgramOptions& options) {
    if (options.place == PlaceWindowId) {
        return options.windowId;
    }
    unsigned long id = 0;
    const char* named = std::getenv("XSCREENSAVER_WINDOW");
    if (named && ParseWindowId(named, &id)) {
        return id;
    }
    if (named) {
        std::fprintf(stderr,
                     "fotovane: XSCREENSAVER_WINDOW='%s' is not a window id; drawing on the "
                     "root window\n",
                     named);
    }
    return DefaultRootWindow(display);
}

int ShowInHostWindow(Display* display, const ProgramOptions& options) {
    Window window = HostWindowOf(display, options);
    if (!OpenHostWindow(display, window)) {
        std::fprintf(stderr, "fotovane: there is no window 0x%lx to draw in\n", window);
        return 1;
    }
    return 0;
}

// The show until its end; the exit status.
int RunShow(const ProgramOptions& options) {
    if (!LoadShowSettings(options)) {
        return 1;
    }
    SaverState state;
    state.LoadSystemOptions();

    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "fotovane: cannot open display\n");
        return 1;
    }
    XSetErrorHandler(OnShowXError);
    XSetIOErrorHandler(OnXConnectionLost);

    int status = 0;
    switch (options.place) {
        case PlaceRoot:
        case PlaceWindowId:
            status = ShowInHostWindow(display, options);
            break;
        case PlaceOwnWindow:
            OpenOwnWindow(display);
            break;
        default:
            status = OpenStandaloneWindows(display, &state) ? 0 : 1;
            break;
    }
    if (status == 0) {
        RunShowWindows(state);
    }
    // Closing the connection lets go of the grabs; the shared-memory segments went with the
    // show windows.
    XCloseDisplay(display);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    ProgramOptions options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "%s\n", options.error);
        return 2;
    }
    switch (options.action) {
        case ActionHelp:
            std::fputs(HelpText, stdout);
            return 0;
        case ActionVersion:
            std::printf("fotovane %s\n", FV_VERSION);
            return 0;
        case ActionAddToXScreenSaver:
            MakeFolderAbsolute(&options);
            return AddToXScreenSaver(options);
        default:
            break;
    }
    InstallTerminationSignals();
    SetStopCheck(ShowStopRequested);
    int status = RunShow(options);
    // A host that stopped the show with a signal watches for a death by it.
    DieOfTerminationSignal();
    return status;
}
