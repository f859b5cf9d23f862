#pragma once
// Drives the dialogs in this process: the stored settings, the controls, and modal loops
// that a test has to act inside of.

#include <windows.h>
#include <cstdint>
#include <functional>
#include <string>

void DeleteStoredSettings();
void StoreDword(const char* name, int32_t value);
void StoreText(const char* name, const std::string& text);
// False when the value is missing or no REG_DWORD.
bool StoredDword(const char* name, int32_t* value);
std::string StoredText(const char* name);
int StoredValueCount();

std::string ItemText(HWND dialog, int id);
bool Checked(HWND dialog, int id);
void Click(HWND dialog, int id);

using WindowMatch = std::function<bool(HWND)>;
WindowMatch Titled(const std::string& caption);
WindowMatch OwnedBy(HWND owner);

// Calls `open`, which runs a modal loop, and from inside that loop calls `act` with the first
// visible window of this thread that matches. False when none showed within five seconds;
// the active window is then cancelled so that `open` returns.
bool WhileModal(const WindowMatch& match, const std::function<void()>& open,
                const std::function<void(HWND)>& act);

// Waits up to five seconds, pumping messages, until `done` holds.
bool WaitFor(const std::function<bool()>& done);
