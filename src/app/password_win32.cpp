#include "app/password.h"

#include <windows.h>
#include "base/trace.h"

namespace {

// Both components use the Windows calling convention: the callee removes its arguments.
using VerifyPasswordProc = BOOL(WINAPI*)(HWND window);
using ChangePasswordProc = DWORD(WINAPI*)(LPCSTR provider, HWND window, DWORD, DWORD);

static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA reads the size field");

uint32_t QueryPlatformId() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    GetVersionExA(&info);
    return info.dwPlatformId;
}

ModuleHandle LoadSystemLibrary(const char* name) {
    return LoadLibraryA(name);
}

SystemProc FindSystemFunction(ModuleHandle library, const char* name) {
    return reinterpret_cast<SystemProc>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void FreeSystemLibrary(ModuleHandle library) {
    FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace

PasswordSystem g_passwordSystem = {QueryPlatformId, LoadSystemLibrary, FindSystemFunction,
                                   FreeSystemLibrary};

int VerifySaverPassword(WindowHandle window) {
    if (g_passwordSystem.platformId() == VER_PLATFORM_WIN32_NT) {
        return 1;
    }
    ModuleHandle library = g_passwordSystem.loadLibrary("PASSWORD.CPL");
    if (library == nullptr) {
        Trace("Unable to load PASSWORD.CPL. Aborting");
        return 1;
    }
    SystemProc found = g_passwordSystem.findFunction(library, "VerifyScreenSavePwd");
    if (found == nullptr) {
        Trace("Unable to get VerifyPwProc address. Aborting");
        g_passwordSystem.freeLibrary(library);
        return 1;
    }
    Trace("About to call VerifyPwProc");
    BOOL result = reinterpret_cast<VerifyPasswordProc>(found)(static_cast<HWND>(window));
    g_passwordSystem.freeLibrary(library);
    return result;
}

void ChangeSaverPassword(WindowHandle window) {
    ModuleHandle library = g_passwordSystem.loadLibrary("MPR.DLL");
    if (library == nullptr) {
        Trace("MPR.DLL not found: cannot change password.");
        return;
    }
    SystemProc found = g_passwordSystem.findFunction(library, "PwdChangePasswordA");
    if (found == nullptr) {
        g_passwordSystem.freeLibrary(library);
        Trace("PwdChangeProc not found: cannot change password");
        return;
    }
    reinterpret_cast<ChangePasswordProc>(found)("SCRSAVE", static_cast<HWND>(window), 0, 0);
    g_passwordSystem.freeLibrary(library);
}
