#include "dialogs/config_dialog.h"

#include <windows.h>
#include <shlobj.h>
#include "app/saver_state.h"
#include "dialogs/config_values.h"
#include "dialogs/dialog_procs_win32.h"
#include "resources/resource.h"
#include "settings/settings.h"

namespace {

// The delay edit is read through a buffer of this size: 79 characters and the NUL.
constexpr int DelayTextSize = 80;

bool IsChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void SetCheck(HWND dialog, int id, bool on) {
    SendDlgItemMessageA(dialog, id, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

ConfigChecks ReadChecks(HWND dialog) {
    ConfigChecks checks{};
    checks.centered = IsChecked(dialog, IDC_CENTERED);
    checks.scattered = IsChecked(dialog, IDC_SCATTERED);
    checks.slideShow = IsChecked(dialog, IDC_SLIDE_SHOW);
    checks.collage = IsChecked(dialog, IDC_COLLAGE);
    checks.fullScreen = IsChecked(dialog, IDC_FULL_SCREEN);
    checks.large = IsChecked(dialog, IDC_LARGE);
    checks.small = IsChecked(dialog, IDC_SMALL);
    checks.subdirs = IsChecked(dialog, IDC_SUBDIRS);
    checks.random = IsChecked(dialog, IDC_RANDOM);
    return checks;
}

void ShowChecks(HWND dialog, const ConfigChecks& checks) {
    SetCheck(dialog, IDC_CENTERED, checks.centered);
    SetCheck(dialog, IDC_SCATTERED, checks.scattered);
    SetCheck(dialog, IDC_SLIDE_SHOW, checks.slideShow);
    SetCheck(dialog, IDC_COLLAGE, checks.collage);
    SetCheck(dialog, IDC_FULL_SCREEN, checks.fullScreen);
    SetCheck(dialog, IDC_LARGE, checks.large);
    SetCheck(dialog, IDC_SMALL, checks.small);
    SetCheck(dialog, IDC_SUBDIRS, checks.subdirs);
    SetCheck(dialog, IDC_RANDOM, checks.random);
}

void InitDialog(HWND dialog) {
    LoadSettings();
    // Unsigned on purpose: a stored -1 reads back as 4294967295, which OK turns into -1 again.
    SetDlgItemInt(dialog, IDC_DELAY, static_cast<UINT>(g_settings.delay), FALSE);
    ShowChecks(dialog, ChecksFromSettings(g_settings));
    SetDlgItemTextA(dialog, IDC_PATH, g_settings.path);
}

void StoreDialog(HWND dialog) {
    GetDlgItemTextA(dialog, IDC_PATH, g_settings.path, MaxPath);
    StoreChecks(ReadChecks(dialog), &g_settings);
    char text[DelayTextSize];
    GetDlgItemTextA(dialog, IDC_DELAY, text, DelayTextSize);
    g_settings.delay = ReadDelayText(text);
    SaveSettings();
}

void ChooseCollage(HWND dialog) {
    ConfigChecks checks = ReadChecks(dialog);
    ApplyCollageChoice(&checks);
    ShowChecks(dialog, checks);
}

void StepDelayEdit(HWND dialog, int32_t step) {
    char text[DelayTextSize];
    GetDlgItemTextA(dialog, IDC_DELAY, text, DelayTextSize);
    // Taken at once; only OK makes it last.
    g_settings.delay = StepDelay(text, step);
    FormatDelay(g_settings.delay, text, DelayTextSize);
    SetDlgItemTextA(dialog, IDC_DELAY, text);
}

void BrowseForFolder(HWND dialog) {
    char folder[MAX_PATH] = "";
    BROWSEINFOA info{};
    info.hwndOwner = dialog;
    info.pszDisplayName = folder;
    info.lpszTitle = "Choose an image directory";
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST items = SHBrowseForFolderA(&info);
    if (items == nullptr) {
        return;
    }
    // A folder without a file-system path (the computer, say) leaves no usable text behind.
    bool havePath = SHGetPathFromIDListA(items, folder) != FALSE;
    IMalloc* shellMalloc = nullptr;
    if (SUCCEEDED(SHGetMalloc(&shellMalloc))) {
        shellMalloc->Free(items);
        shellMalloc->Release();
    }
    if (havePath) {
        SetDlgItemTextA(dialog, IDC_PATH, folder);
    }
}

}  // namespace

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
        case WM_INITDIALOG:
            InitDialog(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDOK:
                    StoreDialog(dialog);
                    EndDialog(dialog, 1);
                    return TRUE;
                case IDCANCEL:
                    EndDialog(dialog, 0);
                    return TRUE;
                case IDC_ABOUT:
                    DialogBoxParamA(static_cast<HINSTANCE>(g_instance), MAKEINTRESOURCEA(IDD_ABOUT),
                                    dialog, AboutDialogProc, 0);
                    return TRUE;
                case IDC_COLLAGE:
                    ChooseCollage(dialog);
                    return TRUE;
                case IDC_SLIDE_SHOW:
                    return TRUE;
                case IDC_LONGER:
                    StepDelayEdit(dialog, 1);
                    return TRUE;
                case IDC_SHORTER:
                    StepDelayEdit(dialog, -1);
                    return TRUE;
                case IDC_BROWSE:
                    BrowseForFolder(dialog);
                    return FALSE;
                default:
                    return FALSE;
            }
        default:
            return FALSE;
    }
}

void ShowConfigDialog(WindowHandle owner) {
    HWND ownerWindow = static_cast<HWND>(owner);
    // A stale window number from the command line would make the dialog fail to open at all.
    if (ownerWindow != nullptr && !IsWindow(ownerWindow)) {
        ownerWindow = nullptr;
    }
    DialogBoxParamA(static_cast<HINSTANCE>(g_instance), MAKEINTRESOURCEA(IDD_CONFIG), ownerWindow,
                    ConfigDialogProc, 0);
}
