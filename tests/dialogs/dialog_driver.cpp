#include "dialog_driver.h"

#include <vector>
#include "settings/settings.h"

void DeleteStoredSettings() {
    RegDeleteKeyA(HKEY_CURRENT_USER, SettingsKeyPath());
}

namespace {

HKEY OpenKey() {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, SettingsKeyPath(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &key, nullptr);
    return key;
}

}  // namespace

void StoreDword(const char* name, int32_t value) {
    HKEY key = OpenKey();
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
    RegCloseKey(key);
}

void StoreText(const char* name, const std::string& text) {
    HKEY key = OpenKey();
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                   static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
}

bool StoredDword(const char* name, int32_t* value) {
    HKEY key = OpenKey();
    DWORD type = 0;
    DWORD size = 4;
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return result == ERROR_SUCCESS && type == REG_DWORD && size == 4;
}

std::string StoredText(const char* name) {
    HKEY key = OpenKey();
    std::vector<char> text(1024, '\0');
    DWORD type = 0;
    DWORD size = static_cast<DWORD>(text.size() - 1);
    LONG result =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text.data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS || type != REG_SZ) {
        return "(none)";
    }
    return text.data();
}

int StoredValueCount() {
    HKEY key = OpenKey();
    DWORD count = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                     nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return static_cast<int>(count);
}

std::string ItemText(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof(text));
    return text;
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void Click(HWND dialog, int id) {
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

WindowMatch Titled(const std::string& caption) {
    return [caption](HWND window) {
        char text[256] = "";
        GetWindowTextA(window, text, sizeof(text));
        return caption == text;
    };
}

WindowMatch OwnedBy(HWND owner) {
    return [owner](HWND window) { return GetWindow(window, GW_OWNER) == owner; };
}

namespace {

struct ModalStep {
    WindowMatch match;
    std::function<void(HWND)> act;
    DWORD start = 0;
    bool found = false;
};
ModalStep* g_step = nullptr;

BOOL CALLBACK OfferWindow(HWND window, LPARAM found) {
    if (IsWindowVisible(window) && g_step->match(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
    if (g_step == nullptr) {
        KillTimer(nullptr, timer);
        return;
    }
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), OfferWindow, reinterpret_cast<LPARAM>(&found));
    if (found != nullptr) {
        KillTimer(nullptr, timer);
        ModalStep* step = g_step;
        g_step = nullptr;
        step->found = true;
        step->act(found);
    } else if (GetTickCount() - g_step->start > 5000) {
        KillTimer(nullptr, timer);
        g_step = nullptr;
        HWND active = GetActiveWindow();
        if (active != nullptr) {
            PostMessageA(active, WM_COMMAND, IDCANCEL, 0);
        }
    }
}

}  // namespace

bool WhileModal(const WindowMatch& match, const std::function<void()>& open,
                const std::function<void(HWND)>& act) {
    ModalStep step;
    step.match = match;
    step.act = act;
    step.start = GetTickCount();
    g_step = &step;
    SetTimer(nullptr, 0, 20, Tick);
    open();
    g_step = nullptr;
    return step.found;
}

bool WaitFor(const std::function<bool()>& done) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > 5000) {
            return false;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(20);
    }
    return true;
}
