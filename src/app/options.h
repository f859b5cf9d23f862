#pragma once
// The Linux program's command line: where to draw, and show settings for this run.

#include <cstdint>
#include "app/platform_types.h"
#include "settings/settings.h"

enum DrawPlace : int32_t {
    PlaceStandalone = 0,  // full screen, one window per monitor
    PlaceRoot = 1,        // $XSCREENSAVER_WINDOW, else the root window
    PlaceWindowId = 2,    // a window another program made
    PlaceOwnWindow = 3,   // a normal top-level window
};

struct ProgramOptions {
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
    bool hasFormats = false;
    int32_t formats = 0;
    bool save = false;
};

constexpr const char* UsageText =
    "usage: fotovane [-root | -window-id ID | -window] [--folder DIR] [--delay SECONDS] "
    "[--mode slide|collage] [--size full|large|small] [--position centered|scattered] "
    "[--random | --no-random] [--subdirs | --no-subdirs] [--formats all|jpeg] [--save]";

// Nonzero when every argument (argv[1] on) is understood.
int32_t ParseOptions(int argc, const char* const* argv, ProgramOptions* options);
// A window number as hosts write it: "0x" hex or decimal, blanks around; zero when not one.
int32_t ParseWindowId(const char* text, unsigned long* id);
// Puts the options given into the settings.
void ApplyOptions(const ProgramOptions& options, SaverSettings* settings);
