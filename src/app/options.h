#pragma once
// The Linux program's command line: what to do, where to draw, and show settings for this run.

#include <cstdint>
#include "app/platform_types.h"
#include "settings/settings.h"

enum DrawPlace : int32_t {
    PlaceStandalone = 0,  // full screen, one window per monitor
    PlaceRoot = 1,        // $XSCREENSAVER_WINDOW, else the root window
    PlaceWindowId = 2,    // a window another program made
    PlaceOwnWindow = 3,   // a normal top-level window
};

enum ProgramAction : int32_t {
    ActionShow = 0,
    ActionHelp = 1,
    ActionVersion = 2,
    ActionAddToXScreenSaver = 3,
};

struct ProgramOptions {
    ProgramAction action = ActionShow;
    DrawPlace place = PlaceStandalone;
    unsigned long windowId = 0;
    // Show settings given on the command line; each has* says whether it was.
    bool hasFolder = false;
    char folder[MaxPath] = {};
    bool hasDelay = false;
    int32_t delay = 0;
    bool hasMode = false;
    int32_t mode = 0;
    bool hasSize = false;
    int32_t size = 0;
    bool hasPosition = false;
    int32_t position = 0;
    bool hasRandom = false;
    int32_t random = 0;
    bool hasSubdirs = false;
    int32_t subdirs = 0;
    // Settings not given take their defaults instead of the stored values.
    bool defaults = false;
    bool save = false;
    // Why the command line was refused: one line naming the option or value.
    char error[MaxPath + 128] = {};
};

// Printed for --help.
extern const char* const HelpText;

// Nonzero when every argument (argv[1] on) is understood; otherwise options->error says why.
// Parsing ends at --help or --version.
int32_t ParseOptions(int argc, const char* const* argv, ProgramOptions* options);
// A window number as hosts write it: "0x" hex or decimal, blanks around; zero when not one.
int32_t ParseWindowId(const char* text, unsigned long* id);
// Puts the options given into the settings.
void ApplyOptions(const ProgramOptions& options, SaverSettings* settings);
// The folder as it was before XScreenSaver's settings tool wrapped its programs: line inside
// it: each run of blanks holding a tab and at least three characters becomes one space. Zero
// when the text holds no such run.
int32_t UnwrapFolder(const char* folder, char* unwrapped);
