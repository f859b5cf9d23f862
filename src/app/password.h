#pragma once
// The system's screen-saver password: checked before the full-screen saver closes, changed in
// the ChangePassword mode. Both belong to system components loaded by name at the moment of
// use; the program keeps no password of its own.

#include <cstdint>
#include "base/platform_types.h"

// Nonzero when the saver may close. Missing components count as a right password, and on
// the NT platform, where the system locks the session itself, nothing is asked.
int VerifySaverPassword(WindowHandle window);

// Lets the system ask for a new password; the window may be null.
void ChangeSaverPassword(WindowHandle window);

// The system calls behind the two operations. The components exist only on old Windows, so
// tests replace these; the defaults are the real calls.
using SystemProc = void (*)();
struct PasswordSystem {
    uint32_t (*platformId)();  // the platform identifier of GetVersionExA
    ModuleHandle (*loadLibrary)(const char* name);
    SystemProc (*findFunction)(ModuleHandle library, const char* name);
    void (*freeLibrary)(ModuleHandle library);
};
extern PasswordSystem g_passwordSystem;
