// The saver window in this process: RunSaver with its real message loop, driven by a script of
// steps on a thread timer, with the password components replaced through their seam.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/password.h"
#include "app/saver_state.h"
#include "app/saver_window.h"
#include "settings/settings.h"
#include "show/test_pictures.h"
#include "show/window_grab_win32.h"

namespace {

// --- Pictures and registry ------------------------------------------------------------------

// One DWORD under the system's screen-saver key, put back as it was when the test ends.
class SystemOption {
  public:
    SystemOption(const char* valueName, DWORD value) : name(valueName) {
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, SystemOptionsKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key, nullptr);
        DWORD size = sizeof formerValue;
        hadValue = RegQueryValueExA(key, name, nullptr, nullptr,
                                    reinterpret_cast<BYTE*>(&formerValue), &size) == ERROR_SUCCESS;
        RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), 4);
        RegCloseKey(key);
    }
    ~SystemOption() {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, SystemOptionsKeyPath, 0, KEY_ALL_ACCESS, &key) ==
            ERROR_SUCCESS) {
            if (hadValue) {
                RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&formerValue),
                               4);
            } else {
                RegDeleteValueA(key, name);
            }
            RegCloseKey(key);
        }
    }

  private:
    const char* name;
    DWORD formerValue = 0;
    bool hadValue = false;
};

bool SettingsKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, SettingsKeyPath(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// --- The password seam ------------------------------------------------------------------------

struct FakePasswordSystem {
    uint32_t platform = VER_PLATFORM_WIN32_WINDOWS;
    std::vector<std::string> loaded;
    std::vector<std::string> looked;
    int freed = 0;
    std::vector<BOOL> answers;  // one per verification, in order
    std::function<void(HWND)> duringPrompt;
    int verifications = 0;
    int depth = 0;
    int nested = 0;
    HWND verifiedWindow = nullptr;
};
FakePasswordSystem* g_fake = nullptr;
HMODULE const FakeLibrary = reinterpret_cast<HMODULE>(static_cast<intptr_t>(0x5A5A0000));

BOOL WINAPI FakeVerifyScreenSavePwd(HWND window) {
    FakePasswordSystem& fake = *g_fake;
    const int index = fake.verifications++;
    fake.verifiedWindow = window;
    // A prompt inside a prompt is a fault; it answers at once so that the test ends.
    if (fake.depth > 0) {
        ++fake.nested;
        return FALSE;
    }
    ++fake.depth;
    if (fake.duringPrompt) {
        fake.duringPrompt(window);
    }
    --fake.depth;
    return index < static_cast<int>(fake.answers.size()) ? fake.answers[index] : TRUE;
}

const PasswordSystem FakeSeam = {
    [] { return g_fake->platform; },
    [](const char* name) -> ModuleHandle {
        g_fake->loaded.push_back(name);
        return FakeLibrary;
    },
    [](ModuleHandle library, const char* name) -> SystemProc {
        g_fake->looked.push_back(name);
        return library == FakeLibrary && std::strcmp(name, "VerifyScreenSavePwd") == 0
                   ? reinterpret_cast<SystemProc>(FakeVerifyScreenSavePwd)
                   : nullptr;
    },
    [](ModuleHandle library) {
        if (library == FakeLibrary) {
            ++g_fake->freed;
        }
    },
};

// --- Running the saver with a script ------------------------------------------------------------

// Each step runs on a thread timer inside RunSaver's own loop; a step answers false to be asked
// again at the next tick. A run that outlives its deadline fails and is ended by force.
using Step = std::function<bool()>;

struct Script {
    std::vector<Step> steps;
    size_t next = 0;
    DWORD started = 0;
    DWORD deadlineMs = 10000;
    bool timedOut = false;
};
Script* g_script = nullptr;

void CALLBACK ScriptTick(HWND, UINT, UINT_PTR, DWORD) {
    Script& script = *g_script;
    if (GetTickCount() - script.started > script.deadlineMs) {
        script.timedOut = true;
        if (IsWindow(static_cast<HWND>(g_saverWindow))) {
            DestroyWindow(static_cast<HWND>(g_saverWindow));
        }
        return;
    }
    if (script.next < script.steps.size() && script.steps[script.next]()) {
        ++script.next;
    }
}

HCURSOR Arrow() {
    return LoadCursorA(nullptr, IDC_ARROW);
}

HWND SaverWindow() {
    return static_cast<HWND>(g_saverWindow);
}

POINT Cursor() {
    POINT point = {0, 0};
    GetCursorPos(&point);
    return point;
}

// What the system sends when the mouse moves over the window.
HCURSOR CursorAfterMouseMessage(HWND window) {
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    return GetCursor();
}

void MoveCursor(int x, int y) {
    SetCursorPos(x, y);
    PostMessageA(SaverWindow(), WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
}

bool ScreenSaverRunning() {
    BOOL running = FALSE;
    SystemParametersInfoA(SPI_GETSCREENSAVERRUNNING, 0, &running, 0);
    return running != FALSE;
}

// A step that waits for the given time to pass since it first ran.
Step Wait(DWORD milliseconds) {
    auto since = std::make_shared<DWORD>(0);
    return [since, milliseconds] {
        if (*since == 0) {
            *since = GetTickCount() | 1;
        }
        return GetTickCount() - *since >= milliseconds;
    };
}

class SaverWindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "fotovane-saver-window-test";
        CreateDirectoryA(folder.c_str(), nullptr);
        // Twice the preview's size: fitted, it fills the 152x112 child.
        WriteSolidJpeg(folder + "\\solid.jpg", 304, 224, Colour{200, 40, 160});
        hadSettings = SettingsKeyExists();
        if (hadSettings) {
            LoadSettings();
            formerSettings = g_settings;
        }
        g_settings = SaverSettings{10, 0, 0, 0, 0, 0, "", 0};
        std::snprintf(g_settings.path, sizeof g_settings.path, "%s", folder.c_str());
        SaveSettings();
    }

    static void TearDownTestSuite() {
        if (hadSettings) {
            g_settings = formerSettings;
            SaveSettings();
        } else {
            DeleteSettings();
        }
        DeleteFileA((folder + "\\solid.jpg").c_str());
        RemoveDirectoryA(folder.c_str());
    }

    void SetUp() override {
        g_instance = GetModuleHandleA(nullptr);
        g_saverWindow = nullptr;
        formerSeam = g_passwordSystem;
        g_fake = &fake;
        g_passwordSystem = FakeSeam;
        SetCursorPos(400, 300);
    }

    void TearDown() override {
        g_passwordSystem = formerSeam;
        g_fake = nullptr;
        delete g_saverState;
        g_saverState = nullptr;
        g_saverMode = NoMode;
    }

    // WinMain's part: the mode, the state and the system options.
    void Prepare(SaverMode mode) {
        g_saverMode = mode;
        g_saverState = new SaverState();
        g_saverState->LoadSystemOptions();
    }

    // Runs RunSaver to its end with the script; false if the script had to end it by force.
    bool Run(HWND parent, std::vector<Step> steps, DWORD deadlineMs = 10000) {
        Script script;
        script.steps = std::move(steps);
        script.deadlineMs = deadlineMs;
        script.started = GetTickCount();
        g_script = &script;
        const UINT_PTR timer = SetTimer(nullptr, 0, 20, ScriptTick);
        RunSaver(parent);
        KillTimer(nullptr, timer);
        g_script = nullptr;
        MSG stale;
        while (PeekMessageA(&stale, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE)) {
        }
        EXPECT_EQ(script.next, script.steps.size()) << "steps done before the saver ended";
        return !script.timedOut;
    }

    FakePasswordSystem fake;
    PasswordSystem formerSeam = {};
    static std::string folder;
    static bool hadSettings;
    static SaverSettings formerSettings;
};

std::string SaverWindowTest::folder;
bool SaverWindowTest::hadSettings = false;
SaverSettings SaverWindowTest::formerSettings = {};

// --- Full screen -----------------------------------------------------------------------------

TEST_F(SaverWindowTest, WithinTheGracePeriodInputClosesWithoutAskingAndTheSystemFlagFollows) {
    Prepare(Saver);
    ASSERT_EQ(g_saverState->passwordDelay, 15);
    bool runningDuring = false;
    const bool ended =
        Run(nullptr, {
                         [&] {
                             runningDuring = ScreenSaverRunning();
                             // Input is on: the cursor is hidden.
                             EXPECT_EQ(CursorAfterMouseMessage(SaverWindow()), nullptr);
                             PostMessageA(SaverWindow(), WM_KEYDOWN, 'Q', 0);
                             return true;
                         },
                     });
    EXPECT_TRUE(ended);
    EXPECT_TRUE(runningDuring);
    EXPECT_FALSE(ScreenSaverRunning());
    EXPECT_TRUE(fake.loaded.empty()) << "no verification within the grace period";
    EXPECT_EQ(fake.verifications, 0);
    EXPECT_FALSE(IsWindow(SaverWindow()));
}

TEST_F(SaverWindowTest, AfterTheGracePeriodARefusedPasswordKeepsTheSaverWithAFreshBaseline) {
    SystemOption noGrace("Password Delay", 0);
    Prepare(Saver);
    ASSERT_EQ(g_saverState->passwordDelay, 0);
    fake.answers = {FALSE, 2};

    POINT prompted = {0, 0};
    bool arrowDuringPrompt = false;
    bool checkingDuringPrompt = false;
    fake.duringPrompt = [&](HWND window) {
        arrowDuringPrompt = GetCursor() == Arrow();
        checkingDuringPrompt = g_saverState->checkingPassword != 0;
        // The user answers the prompt somewhere else on the screen; meanwhile input, another
        // close and a lost activation reach the saver through the prompt's own loop.
        SetCursorPos(650, 500);
        prompted = Cursor();
        PostMessageA(window, WM_MOUSEMOVE, 0, 0);
        PostMessageA(window, WM_KEYDOWN, 'Q', 0);
        PostMessageA(window, WM_ACTIVATE, WA_INACTIVE, 0);
        SendMessageA(window, WM_CLOSE, 0, 0);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    };

    HCURSOR cursorAfterPrompt = Arrow();
    HCURSOR cursorRightAfterPrompt = Arrow();
    bool aliveAfterRefusal = false;
    bool aliveAfterSmallTravel = false;
    POINT baselineAfterRefusal = {0, 0};
    const bool ended = Run(
        nullptr, {
                     Wait(30),  // past a grace period of 0 ms
                     [&] {
                         PostMessageA(SaverWindow(), WM_LBUTTONDOWN, 0, 0);
                         return true;
                     },
                     [&] { return fake.verifications == 1; },
                     Wait(100),
                     [&] {
                         aliveAfterRefusal = IsWindow(SaverWindow()) != FALSE;
                         cursorRightAfterPrompt = GetCursor();
                         cursorAfterPrompt = CursorAfterMouseMessage(SaverWindow());
                         baselineAfterRefusal = {g_saverState->cursorBaseline.x,
                                                 g_saverState->cursorBaseline.y};
                         // Near the new baseline, far from the start position.
                         MoveCursor(prompted.x + 30, prompted.y - 30);
                         return true;
                     },
                     Wait(150),
                     [&] {
                         aliveAfterSmallTravel = IsWindow(SaverWindow()) && fake.verifications == 1;
                         PostMessageA(SaverWindow(), WM_KEYDOWN, VK_SPACE, 0);
                         return true;
                     },
                 });
    EXPECT_TRUE(ended);
    EXPECT_TRUE(arrowDuringPrompt);
    EXPECT_TRUE(checkingDuringPrompt);
    EXPECT_TRUE(aliveAfterRefusal);
    EXPECT_EQ(cursorRightAfterPrompt, nullptr) << "the cursor hides as soon as the prompt ends";
    EXPECT_EQ(cursorAfterPrompt, nullptr) << "the cursor stays hidden when the mouse moves";
    EXPECT_EQ(baselineAfterRefusal.x, prompted.x);
    EXPECT_EQ(baselineAfterRefusal.y, prompted.y);
    EXPECT_TRUE(aliveAfterSmallTravel) << "travel counts from where the prompt left the cursor";
    EXPECT_EQ(fake.nested, 0) << "a close during the prompt asked again";
    EXPECT_EQ(fake.verifications, 2) << "input during the prompt asked again";
    EXPECT_EQ(fake.verifiedWindow, SaverWindow());
    EXPECT_EQ(fake.loaded, std::vector<std::string>(2, "PASSWORD.CPL"));
    EXPECT_EQ(fake.looked, std::vector<std::string>(2, "VerifyScreenSavePwd"));
    EXPECT_EQ(fake.freed, 2);
    EXPECT_FALSE(ScreenSaverRunning());
}

TEST_F(SaverWindowTest, OnTheNtPlatformNothingIsLoadedAndInputCloses) {
    SystemOption noGrace("Password Delay", 0);
    Prepare(Saver);
    fake.platform = VER_PLATFORM_WIN32_NT;
    const bool ended = Run(nullptr, {
                                        Wait(30),
                                        [&] {
                                            PostMessageA(SaverWindow(), WM_RBUTTONDOWN, 0, 0);
                                            return true;
                                        },
                                    });
    EXPECT_TRUE(ended);
    EXPECT_TRUE(fake.loaded.empty());
    EXPECT_EQ(fake.verifications, 0);
}

// --- Preview ---------------------------------------------------------------------------------

class PreviewHost {
  public:
    PreviewHost() {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = "FotovanePreviewHost";
        RegisterClassA(&windowClass);
        window =
            CreateWindowExA(0, windowClass.lpszClassName, "Display settings", WS_POPUP | WS_VISIBLE,
                            40, 60, 152, 112, nullptr, nullptr, windowClass.hInstance, nullptr);
    }
    ~PreviewHost() { DestroyWindow(window); }
    HWND window;
};

bool Near(uint32_t pixel, COLORREF colour, int tolerance) {
    const int red = static_cast<int>((pixel >> 16) & 0xFF) - GetRValue(colour);
    const int green = static_cast<int>((pixel >> 8) & 0xFF) - GetGValue(colour);
    const int blue = static_cast<int>(pixel & 0xFF) - GetBValue(colour);
    return std::abs(red) <= tolerance && std::abs(green) <= tolerance &&
           std::abs(blue) <= tolerance;
}

TEST_F(SaverWindowTest, PreviewDrawsIntoTheHostIgnoresInputAndClosesWithoutPassword) {
    SystemOption noGrace("Password Delay", 0);
    Prepare(Preview);
    PreviewHost host;
    ASSERT_NE(host.window, nullptr);
    RECT client = {0, 0, 0, 0};
    int wrongPixels = -1;
    bool drawn = false;
    bool runningDuring = true;
    HCURSOR cursor = nullptr;
    bool aliveAfterInput = false;
    const bool ended =
        Run(host.window, {
                             [&] {
                                 // The first frame comes at the first idle moment; allow a few.
                                 GetClientRect(SaverWindow(), &client);
                                 const std::vector<uint32_t> pixels =
                                     GrabClient(SaverWindow(), 152, 112);
                                 wrongPixels = 0;
                                 for (uint32_t pixel : pixels) {
                                     wrongPixels += Near(pixel, RGB(200, 40, 160), 12) ? 0 : 1;
                                 }
                                 drawn = wrongPixels == 0;
                                 return drawn;
                             },
                             [&] {
                                 runningDuring = ScreenSaverRunning();
                                 PostMessageA(SaverWindow(), WM_KEYDOWN, 'Q', 0);
                                 PostMessageA(SaverWindow(), WM_LBUTTONDOWN, 0, 0);
                                 PostMessageA(SaverWindow(), WM_ACTIVATE, WA_INACTIVE, 0);
                                 MoveCursor(5, 5);
                                 cursor = CursorAfterMouseMessage(SaverWindow());
                                 return true;
                             },
                             Wait(200),
                             [&] {
                                 aliveAfterInput = IsWindow(SaverWindow()) != FALSE;
                                 PostMessageA(SaverWindow(), WM_CLOSE, 0, 0);
                                 return true;
                             },
                         });
    EXPECT_TRUE(ended);
    EXPECT_EQ(GetParent(SaverWindow()), nullptr) << "the child is gone";
    EXPECT_EQ(client.right, 152);
    EXPECT_EQ(client.bottom, 112);
    EXPECT_TRUE(drawn) << wrongPixels << " pixels differ from the picture";
    EXPECT_FALSE(runningDuring);
    EXPECT_EQ(cursor, Arrow());
    EXPECT_TRUE(aliveAfterInput);
    EXPECT_EQ(fake.verifications, 0);
    EXPECT_TRUE(fake.loaded.empty());
    EXPECT_TRUE(IsWindow(host.window)) << "the host outlives the preview";
}

TEST_F(SaverWindowTest, PreviewWithoutAUsableParentReturnsAtOnce) {
    Prepare(Preview);
    for (HWND parent : {static_cast<HWND>(nullptr), reinterpret_cast<HWND>(0x12345)}) {
        const DWORD start = GetTickCount();
        RunSaver(parent);
        EXPECT_LT(GetTickCount() - start, 1000u);
        EXPECT_EQ(g_saverWindow, nullptr);
        EXPECT_EQ(FindWindowA("ScrClass", nullptr), nullptr);
        EXPECT_FALSE(ScreenSaverRunning());
    }
}

}  // namespace
