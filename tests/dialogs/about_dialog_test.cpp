// The About box: the three ways to close it, and the web button handing the address to the
// shell each time it is pressed.

#include <windows.h>
#include <fstream>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "app/saver_state.h"
#include "dialog_driver.h"
#include "dialogs/about_dialog.h"
#include "dialogs/dialog_procs_win32.h"
#include "resources/resource.h"

namespace {

// The stand-in browser is a Unix script; Wine shows the Unix root as drive Z:.
std::string WindowsPath(std::string unixPath) {
    for (char& c : unixPath) {
        if (c == '/') {
            c = '\\';
        }
    }
    return "Z:" + unixPath;
}

std::vector<std::string> BrowserLog() {
    std::vector<std::string> lines;
    std::ifstream log(WindowsPath(FV_BROWSER_LOG));
    std::string line;
    while (std::getline(log, line)) {
        lines.push_back(line);
    }
    return lines;
}

// Points Wine's browser launcher at the recording script for the life of the object.
class StandInBrowser {
  public:
    StandInBrowser() {
        RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\WineBrowser", 0, nullptr, 0,
                        KEY_ALL_ACCESS, nullptr, &key_, nullptr);
        DWORD size = sizeof(saved_);
        hadValue_ = RegQueryValueExA(key_, "Browsers", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(saved_), &size) == ERROR_SUCCESS;
        const char* script = FV_BROWSER_SCRIPT;
        RegSetValueExA(key_, "Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(script),
                       static_cast<DWORD>(strlen(script) + 1));
        DeleteFileA(WindowsPath(FV_BROWSER_LOG).c_str());
    }
    ~StandInBrowser() {
        if (hadValue_) {
            RegSetValueExA(key_, "Browsers", 0, REG_SZ, reinterpret_cast<const BYTE*>(saved_),
                           static_cast<DWORD>(strlen(saved_) + 1));
        } else {
            RegDeleteValueA(key_, "Browsers");
        }
        RegCloseKey(key_);
    }

  private:
    HKEY key_ = nullptr;
    char saved_[1024] = "";
    bool hadValue_ = false;
};

class AboutDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { g_instance = GetModuleHandleA(nullptr); }

    // Opens the box modally and closes it from inside its loop; returns the end code.
    INT_PTR OpenAndClose(const std::function<void(HWND)>& close) {
        INT_PTR result = -1;
        bool shown = WhileModal(
            Titled("Fotovane Screen Saver 3.0"),
            [&] {
                result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT),
                                         nullptr, AboutDialogProc, 0);
            },
            close);
        EXPECT_TRUE(shown);
        return result;
    }
};

TEST_F(AboutDialogTest, OkEscapeAndTheCloseBoxEndIt) {
    EXPECT_EQ(OpenAndClose([](HWND about) { Click(about, IDOK); }), 0);
    EXPECT_EQ(OpenAndClose([](HWND about) {
                  HWND focus = GetFocus();
                  PostMessageA(IsChild(about, focus) ? focus : about, WM_KEYDOWN, VK_ESCAPE, 0);
              }),
              0);
    EXPECT_EQ(OpenAndClose([](HWND about) { SendMessageA(about, WM_SYSCOMMAND, SC_CLOSE, 0); }), 0);
}

TEST_F(AboutDialogTest, WebButtonOpensTheAddressEveryTime) {
    StandInBrowser browser;
    HWND about = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_ABOUT), nullptr,
                                    AboutDialogProc, 0);
    ASSERT_NE(about, nullptr);
    ShowWindow(about, SW_SHOW);
    EXPECT_EQ(ItemText(about, IDC_WEB_SITE), AboutWebAddress);

    Click(about, IDC_WEB_SITE);
    EXPECT_TRUE(WaitFor([] { return BrowserLog().size() >= 1; }));
    Click(about, IDC_WEB_SITE);
    EXPECT_TRUE(WaitFor([] { return BrowserLog().size() >= 2; }));
    EXPECT_EQ(BrowserLog(), std::vector<std::string>(2, AboutWebAddress));
    EXPECT_TRUE(IsWindowVisible(about));
    DestroyWindow(about);
}

}  // namespace
