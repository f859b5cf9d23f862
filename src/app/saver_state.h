#pragma once
// The system's screen-saver options and the saver window's close and password state.

#include <cstdint>
#include "base/platform_types.h"
#include "app/saver_mode.h"

class SaverState {
  public:
    SaverState() : window(nullptr), closeRequested(0) {}

    void LoadSystemOptions();

    WindowHandle window;
    int32_t passwordDelay = 15;   // seconds
    int32_t mouseThreshold = 50;  // pixels at 96 dots per inch
    int32_t displayDpi = 96;      // of the screen the cursor is measured on
    ScreenPoint cursorBaseline = {0, 0};
    uint32_t startTick = 0;  // milliseconds
    int32_t checkingPassword = 0;
    int32_t closeRequested;
};

constexpr const char* SystemOptionsKeyPath =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Screen Savers";

extern ModuleHandle g_instance;
extern SaverMode g_saverMode;
extern SaverState* g_saverState;
extern WindowHandle g_saverWindow;
