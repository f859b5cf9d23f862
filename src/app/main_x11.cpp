// fotovane: the show on X11, standalone full screen, in a window of its own, or in a window
// that a screen-saver host (XScreenSaver, xsecurelock) hands it.

#include <X11/Xlib.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include "app/options.h"
#include "app/pictures_folder.h"
#include "app/saver_state.h"
#include "app/show_windows_x11.h"
#include "app/termination.h"
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

// False when --save could not store the settings (the store has said why).
bool LoadShowSettings(ProgramOptions options) {
    MakeFolderAbsolute(&options);
    LoadSettings();
    char pictures[MaxPath];
    DefaultPicturesFolder(pictures);
    ReadStringValue(g_settings.path, "path", pictures);
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
    return DefaultRootWindow(display);
}

}  // namespace

int main(int argc, char** argv) {
    ProgramOptions options;
    if (!ParseOptions(argc, argv, &options)) {
        std::fprintf(stderr, "%s\n", UsageText);
        return 2;
    }
    InstallTerminationSignals();
    SetStopCheck(ShowStopRequested);
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
            status = OpenHostWindow(display, HostWindowOf(display, options)) ? 0 : 1;
            break;
        case PlaceOwnWindow:
            OpenOwnWindow(display);
            break;
        default:
            OpenStandaloneWindows(display, &state);
            break;
    }
    if (status == 0) {
        RunShowWindows(state);
    }
    XCloseDisplay(display);
    return status;
}
