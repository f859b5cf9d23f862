// The program's entry: one mode per start, chosen by the command line.

#include <windows.h>
#include "app/saver_mode.h"
#include "app/saver_state.h"
#include "settings/settings.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    const CommandLine command = ParseCommandLine(GetCommandLineA());
    g_saverMode = command.mode;
    HWND handle = command.useForegroundWindow
                      ? GetForegroundWindow()
                      : reinterpret_cast<HWND>(static_cast<intptr_t>(command.handle));
    (void)handle;

    g_saverState = new SaverState();
    g_saverState->LoadSystemOptions();

    if (g_saverMode == Clean) {
        DeleteSettings();
    }

    delete g_saverState;
    g_saverState = nullptr;
    return 0;
}
