// The program's entry: one mode per start, chosen by the command line.

#include <windows.h>
#include <objbase.h>
#include "app/password.h"
#include "app/saver_mode.h"
#include "app/saver_state.h"
#include "app/saver_window.h"
#include "dialogs/config_dialog.h"
#include "settings/settings.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    g_instance = instance;
    const CommandLine command = ParseCommandLine(GetCommandLineA());
    g_saverMode = command.mode;
    // Window numbers on the command line are 32-bit; handles widen with their sign.
    HWND handle = command.useForegroundWindow
                      ? GetForegroundWindow()
                      : reinterpret_cast<HWND>(static_cast<intptr_t>(command.handle));

    g_saverState = new SaverState();
    g_saverState->LoadSystemOptions();

    if (g_saverMode == ChangePassword) {
        ChangeSaverPassword(handle);
    } else if (g_saverMode == Configure) {
        // The folder browser and the About box's web link are shell calls that want COM in a
        // single-threaded apartment.
        const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        ShowConfigDialog(handle);
        if (SUCCEEDED(com)) {
            CoUninitialize();
        }
    } else if (g_saverMode == Saver || g_saverMode == Preview) {
        RunSaver(handle);
    } else if (g_saverMode == Clean) {
        DeleteSettings();
    }

    delete g_saverState;
    g_saverState = nullptr;
    return 0;
}
