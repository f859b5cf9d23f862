// The setup dialog driven in this process: what it shows for the stored settings, what OK,
// Cancel, Longer, Shorter, Collage and Browse do, and the modal entry point.

#include <windows.h>
#include <shlobj.h>
#include <string>
#include <gtest/gtest.h>
#include "app/saver_state.h"
#include "dialog_driver.h"
#include "dialogs/config_dialog.h"
#include "dialogs/dialog_procs_win32.h"
#include "resources/resource.h"
#include "settings/settings.h"

namespace {

class ConfigDialogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_instance = GetModuleHandleA(nullptr);
        DeleteStoredSettings();
    }
    void TearDown() override {
        if (dialog_ != nullptr) {
            DestroyWindow(dialog_);
        }
        DeleteStoredSettings();
    }

    HWND Open() {
        dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG),
                                     nullptr, ConfigDialogProc, 0);
        EXPECT_NE(dialog_, nullptr);
        ShowWindow(dialog_, SW_SHOW);
        return dialog_;
    }

    // OK and Cancel end the dialog but leave the window to its creator.
    void Press(int id) {
        Click(dialog_, id);
        EXPECT_FALSE(IsWindowVisible(dialog_)) << "button " << id << " left the dialog open";
    }

    int32_t Stored(const char* name) {
        int32_t value = 0x5a5a5a5a;
        EXPECT_TRUE(StoredDword(name, &value)) << name;
        return value;
    }

    HWND dialog_ = nullptr;
};

TEST_F(ConfigDialogTest, ShowsTheDefaultsWhenNothingIsStored) {
    HWND dialog = Open();
    EXPECT_EQ(ItemText(dialog, IDC_DELAY), "10");
    EXPECT_TRUE(Checked(dialog, IDC_FULL_SCREEN));
    EXPECT_FALSE(Checked(dialog, IDC_LARGE));
    EXPECT_FALSE(Checked(dialog, IDC_SMALL));
    EXPECT_TRUE(Checked(dialog, IDC_SLIDE_SHOW));
    EXPECT_FALSE(Checked(dialog, IDC_COLLAGE));
    EXPECT_TRUE(Checked(dialog, IDC_SCATTERED));
    EXPECT_FALSE(Checked(dialog, IDC_CENTERED));
    EXPECT_FALSE(Checked(dialog, IDC_SUBDIRS));
    EXPECT_FALSE(Checked(dialog, IDC_RANDOM));
    EXPECT_EQ(ItemText(dialog, IDC_PATH), "C:\\Fotovane Images");
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_DELAY));

    Press(IDOK);
    EXPECT_EQ(Stored("delay"), 10);
    EXPECT_EQ(Stored("position"), 1);
    EXPECT_EQ(Stored("mode"), 0);
    EXPECT_EQ(Stored("size"), 0);
    EXPECT_EQ(Stored("subdirs"), 0);
    EXPECT_EQ(Stored("random"), 0);
    EXPECT_EQ(StoredText("path"), "C:\\Fotovane Images");
}

TEST_F(ConfigDialogTest, OkStoresEveryChange) {
    HWND dialog = Open();
    SetDlgItemTextA(dialog, IDC_DELAY, "25");
    Click(dialog, IDC_SMALL);
    Click(dialog, IDC_CENTERED);
    Click(dialog, IDC_SUBDIRS);
    Click(dialog, IDC_RANDOM);
    SetDlgItemTextA(dialog, IDC_PATH, "D:\\Holiday 2024");
    Press(IDOK);
    EXPECT_EQ(Stored("delay"), 25);
    EXPECT_EQ(Stored("size"), 2);
    EXPECT_EQ(Stored("position"), 0);
    EXPECT_EQ(Stored("mode"), 0);
    EXPECT_EQ(Stored("subdirs"), 1);
    EXPECT_EQ(Stored("random"), 1);
    EXPECT_EQ(StoredText("path"), "D:\\Holiday 2024");
    EXPECT_EQ(g_settings.delay, 25);
}

TEST_F(ConfigDialogTest, StoredValuesAreShown) {
    StoreDword("delay", 3);
    StoreDword("position", 0);
    StoreDword("mode", 1);
    StoreDword("size", 1);
    StoreDword("subdirs", 1);
    StoreDword("random", 7);
    StoreText("path", "E:\\Pictures");
    HWND dialog = Open();
    EXPECT_EQ(ItemText(dialog, IDC_DELAY), "3");
    EXPECT_TRUE(Checked(dialog, IDC_CENTERED));
    EXPECT_FALSE(Checked(dialog, IDC_SCATTERED));
    EXPECT_TRUE(Checked(dialog, IDC_COLLAGE));
    EXPECT_FALSE(Checked(dialog, IDC_SLIDE_SHOW));
    EXPECT_TRUE(Checked(dialog, IDC_LARGE));
    EXPECT_FALSE(Checked(dialog, IDC_FULL_SCREEN));
    EXPECT_TRUE(Checked(dialog, IDC_SUBDIRS));
    EXPECT_TRUE(Checked(dialog, IDC_RANDOM));
    EXPECT_EQ(ItemText(dialog, IDC_PATH), "E:\\Pictures");

    Press(IDOK);
    EXPECT_EQ(Stored("random"), 1);
    EXPECT_EQ(Stored("mode"), 1);
    EXPECT_EQ(Stored("size"), 1);
}

TEST_F(ConfigDialogTest, MinusOneIsShownUnsignedAndStoredBack) {
    StoreDword("delay", -1);
    HWND dialog = Open();
    EXPECT_EQ(ItemText(dialog, IDC_DELAY), "4294967295");
    Press(IDOK);
    EXPECT_EQ(Stored("delay"), -1);
}

TEST_F(ConfigDialogTest, LongerAndShorterStepWithoutBounds) {
    StoreDword("delay", 1);
    HWND dialog = Open();
    Click(dialog, IDC_SHORTER);
    EXPECT_EQ(ItemText(dialog, IDC_DELAY), "0");
    EXPECT_EQ(g_settings.delay, 0);
    Click(dialog, IDC_SHORTER);
    EXPECT_EQ(ItemText(dialog, IDC_DELAY), "-1");
    EXPECT_EQ(g_settings.delay, -1);
    EXPECT_EQ(Stored("delay"), 1) << "only OK stores";

    SetDlgItemTextA(dialog, IDC_DELAY, "4294967295");
    Click(dialog, IDC_LONGER);
    EXPECT_EQ(ItemText(dialog, IDC_DELAY), "0");
    SetDlgItemTextA(dialog, IDC_DELAY, " 8 seconds");
    Click(dialog, IDC_LONGER);
    EXPECT_EQ(ItemText(dialog, IDC_DELAY), "9");

    Click(dialog, IDC_SHORTER);
    Click(dialog, IDC_SHORTER);
    Press(IDOK);
    EXPECT_EQ(Stored("delay"), 7);
}

TEST_F(ConfigDialogTest, DelayTextIsReadUpToTheFirstNonDigit) {
    HWND dialog = Open();
    SetDlgItemTextA(dialog, IDC_DELAY, "  7abc");
    Press(IDOK);
    EXPECT_EQ(Stored("delay"), 7);
}

TEST_F(ConfigDialogTest, CollageMovesFullScreenToLargeAndCenteredToScattered) {
    HWND dialog = Open();
    Click(dialog, IDC_CENTERED);
    ASSERT_TRUE(Checked(dialog, IDC_FULL_SCREEN));
    Click(dialog, IDC_COLLAGE);
    EXPECT_TRUE(Checked(dialog, IDC_COLLAGE));
    EXPECT_FALSE(Checked(dialog, IDC_SLIDE_SHOW));
    EXPECT_TRUE(Checked(dialog, IDC_LARGE));
    EXPECT_FALSE(Checked(dialog, IDC_FULL_SCREEN));
    EXPECT_TRUE(Checked(dialog, IDC_SCATTERED));
    EXPECT_FALSE(Checked(dialog, IDC_CENTERED));

    // Slide show again undoes nothing, and the user may then pick anything.
    Click(dialog, IDC_SLIDE_SHOW);
    EXPECT_TRUE(Checked(dialog, IDC_LARGE));
    EXPECT_TRUE(Checked(dialog, IDC_SCATTERED));
    Click(dialog, IDC_COLLAGE);
    Click(dialog, IDC_FULL_SCREEN);
    Click(dialog, IDC_CENTERED);
    Press(IDOK);
    EXPECT_EQ(Stored("mode"), 1);
    EXPECT_EQ(Stored("size"), 0);
    EXPECT_EQ(Stored("position"), 0);
}

TEST_F(ConfigDialogTest, ValuesOutsideTheChoicesShowNothingAndStoreSafely) {
    StoreDword("mode", 5);
    StoreDword("size", -1);
    StoreDword("position", 7);
    HWND dialog = Open();
    for (int id : {IDC_SLIDE_SHOW, IDC_COLLAGE, IDC_FULL_SCREEN, IDC_LARGE, IDC_SMALL, IDC_CENTERED,
                   IDC_SCATTERED}) {
        EXPECT_FALSE(Checked(dialog, id)) << "button " << id;
    }
    Press(IDOK);
    EXPECT_EQ(Stored("mode"), 5);
    EXPECT_EQ(Stored("size"), 2);
    EXPECT_EQ(Stored("position"), 1);
}

TEST_F(ConfigDialogTest, CancelStoresNothing) {
    StoreDword("delay", 3);
    HWND dialog = Open();
    Click(dialog, IDC_LONGER);
    EXPECT_EQ(ItemText(dialog, IDC_DELAY), "4");
    Click(dialog, IDC_SMALL);
    SetDlgItemTextA(dialog, IDC_PATH, "elsewhere");
    Press(IDCANCEL);
    EXPECT_EQ(Stored("delay"), 3);
    EXPECT_EQ(StoredValueCount(), 1);
}

TEST_F(ConfigDialogTest, FolderTextIsCutTo259Characters) {
    HWND dialog = Open();
    std::string folder = "C:\\";
    while (folder.size() < 300) {
        folder += "0123456789";
    }
    SetDlgItemTextA(dialog, IDC_PATH, folder.c_str());
    Press(IDOK);
    EXPECT_EQ(StoredText("path"), folder.substr(0, 259));
    EXPECT_EQ(g_settings.path, folder.substr(0, 259));
}

TEST_F(ConfigDialogTest, BrowseCancelledKeepsTheText) {
    HWND dialog = Open();
    bool shown = WhileModal(
        OwnedBy(dialog), [&] { Click(dialog, IDC_BROWSE); },
        [](HWND browser) { PostMessageA(browser, WM_KEYDOWN, VK_ESCAPE, 0); });
    EXPECT_TRUE(shown);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(ItemText(dialog, IDC_PATH), "C:\\Fotovane Images");
}

TEST_F(ConfigDialogTest, BrowseChosenFolderFillsTheEditOnly) {
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, MAX_PATH);
    HWND dialog = Open();
    bool shown = WhileModal(
        OwnedBy(dialog), [&] { Click(dialog, IDC_BROWSE); },
        [&](HWND browser) {
            SendMessageA(browser, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(windows));
            PostMessageA(browser, WM_COMMAND, IDOK, 0);
        });
    EXPECT_TRUE(shown);
    EXPECT_STRCASEEQ(ItemText(dialog, IDC_PATH).c_str(), windows);
    EXPECT_EQ(StoredValueCount(), 0) << "nothing is stored before OK";
}

// A folder with no file-system path must not put its display name into the edit.
TEST_F(ConfigDialogTest, BrowseChosenVirtualFolderKeepsTheText) {
    LPITEMIDLIST computer = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
    HWND dialog = Open();
    bool shown = WhileModal(
        OwnedBy(dialog), [&] { Click(dialog, IDC_BROWSE); },
        [&](HWND browser) {
            SendMessageA(browser, BFFM_SETSELECTIONA, FALSE, reinterpret_cast<LPARAM>(computer));
            PostMessageA(browser, WM_COMMAND, IDOK, 0);
        });
    EXPECT_TRUE(shown);
    EXPECT_EQ(ItemText(dialog, IDC_PATH), "C:\\Fotovane Images");
    CoTaskMemFree(computer);
}

TEST_F(ConfigDialogTest, AboutOpensOwnedByTheDialog) {
    HWND dialog = Open();
    for (int round = 0; round < 2; ++round) {
        HWND owner = nullptr;
        bool shown = WhileModal(
            Titled("Fotovane Screen Saver 3.0"), [&] { Click(dialog, IDC_ABOUT); },
            [&](HWND about) {
                owner = GetWindow(about, GW_OWNER);
                PostMessageA(about, WM_COMMAND, IDOK, 0);
            });
        EXPECT_TRUE(shown) << "round " << round;
        EXPECT_EQ(owner, dialog);
        EXPECT_TRUE(IsWindowVisible(dialog));
    }
}

TEST_F(ConfigDialogTest, ShowConfigDialogRunsModallyWithItsOwner) {
    HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr,
                                 nullptr, nullptr, nullptr);
    HWND seenOwner = nullptr;
    bool shown = WhileModal(
        Titled("Fotovane 3.0 Setup"), [&] { ShowConfigDialog(owner); },
        [&](HWND dialog) {
            seenOwner = GetWindow(dialog, GW_OWNER);
            SetDlgItemTextA(dialog, IDC_DELAY, "42");
            PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        });
    EXPECT_TRUE(shown);
    EXPECT_EQ(seenOwner, owner);
    EXPECT_EQ(Stored("delay"), 42);
    DestroyWindow(owner);

    // No owner, and a window number that names no window: the dialog opens all the same.
    for (HWND none : {static_cast<HWND>(nullptr), owner}) {
        seenOwner = owner;
        shown = WhileModal(
            Titled("Fotovane 3.0 Setup"), [&] { ShowConfigDialog(none); },
            [&](HWND dialog) {
                seenOwner = GetWindow(dialog, GW_OWNER);
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            });
        EXPECT_TRUE(shown);
        EXPECT_EQ(seenOwner, nullptr);
    }
    EXPECT_EQ(Stored("delay"), 42);
}

}  // namespace
