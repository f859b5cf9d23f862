#include "dialogs/about_dialog.h"

#include <windows.h>
#include <shellapi.h>
#include "dialogs/dialog_procs_win32.h"
#include "resources/resource.h"

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
                case IDC_WEB_SITE:
                    // No browser or no network is not worth a message; the box stays open.
                    ShellExecuteA(dialog, "open", AboutWebAddress, nullptr, nullptr, SW_SHOWNORMAL);
                    return FALSE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}
