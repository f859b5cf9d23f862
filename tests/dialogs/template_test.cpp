// The two dialog templates as built into the program: read from the resource bytes
// (styles, ids, order, positions, texts, fonts) and checked again on the created dialog.

#include <windows.h>
#include <string>
#include <vector>
#include <gtest/gtest.h>
#include "app/saver_state.h"
#include "dialog_driver.h"
#include "dialogs/about_dialog.h"
#include "dialogs/dialog_procs_win32.h"
#include "resources/resource.h"

namespace {

constexpr WORD ButtonAtom = 0x80;
constexpr WORD EditAtom = 0x81;
constexpr WORD StaticAtom = 0x82;
constexpr DWORD Child = WS_CHILD | WS_VISIBLE;
constexpr DWORD NoId = 0xffff;

struct Control {
    DWORD id;
    WORD atom;
    std::string text;
    short x, y, cx, cy;
    DWORD style;
};

struct Template {
    DWORD style = 0;
    short cx = 0, cy = 0;
    std::string caption;
    WORD points = 0;
    WORD weight = 0;
    BYTE italic = 0;
    BYTE charset = 0;
    std::string face;
    std::vector<Control> controls;
};

// Reads the words of a dialog resource; texts are ASCII here.
class Reader {
  public:
    explicit Reader(const BYTE* start) : start_(start), at_(start) {}
    WORD Word() { return Take<WORD>(); }
    DWORD Dword() { return Take<DWORD>(); }
    short Short() { return Take<short>(); }
    BYTE Byte() { return Take<BYTE>(); }
    std::string Text() {
        std::string text;
        for (WORD c = Word(); c != 0; c = Word()) {
            text += static_cast<char>(c);
        }
        return text;
    }
    // A name or an ordinal; ordinals come back as "#n".
    std::string NameOrOrdinal() {
        WORD first = Take<WORD>(false);
        if (first == 0xffff) {
            Word();
            return "#" + std::to_string(Word());
        }
        return Text();
    }
    void AlignDword() {
        while ((at_ - start_) % 4 != 0) {
            ++at_;
        }
    }

  private:
    template <typename T>
    T Take(bool advance = true) {
        T value;
        memcpy(&value, at_, sizeof(T));
        if (advance) {
            at_ += sizeof(T);
        }
        return value;
    }
    const BYTE* start_;
    const BYTE* at_;
};

Control ReadItem(Reader& in, bool extended) {
    Control control{};
    in.AlignDword();
    if (extended) {
        in.Dword();  // help id
        in.Dword();  // extended style
        control.style = in.Dword();
    } else {
        control.style = in.Dword();
        in.Dword();
    }
    control.x = in.Short();
    control.y = in.Short();
    control.cx = in.Short();
    control.cy = in.Short();
    control.id = extended ? in.Dword() & 0xffff : in.Word();
    std::string kind = in.NameOrOrdinal();
    control.atom = kind[0] == '#' ? static_cast<WORD>(std::stoi(kind.substr(1))) : 0;
    control.text = in.NameOrOrdinal();
    WORD extra = in.Word();
    EXPECT_EQ(extra, 0);
    return control;
}

Template LoadTemplate(int id, bool* extended) {
    Template result;
    HRSRC found =
        FindResourceExA(nullptr, MAKEINTRESOURCEA(5) /* RT_DIALOG */, MAKEINTRESOURCEA(id),
                        MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
    EXPECT_NE(found, nullptr) << "template " << id << " in English (United States)";
    if (found == nullptr) {
        return result;
    }
    const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(nullptr, found)));
    Reader in(bytes);
    // The extended form starts with version 1 and the signature 0xffff.
    *extended = bytes[0] == 1 && bytes[1] == 0 && bytes[2] == 0xff && bytes[3] == 0xff;
    if (*extended) {
        in.Dword();  // version and signature
        in.Dword();  // help id
        in.Dword();  // extended style
        result.style = in.Dword();
    } else {
        result.style = in.Dword();
        in.Dword();  // extended style
    }
    WORD count = in.Word();
    in.Short();
    in.Short();
    result.cx = in.Short();
    result.cy = in.Short();
    EXPECT_EQ(in.NameOrOrdinal(), "") << "menu";
    EXPECT_EQ(in.NameOrOrdinal(), "") << "class";
    result.caption = in.Text();
    if (result.style & DS_SETFONT) {
        result.points = in.Word();
        if (*extended) {
            result.weight = in.Word();
            result.italic = in.Byte();
            result.charset = in.Byte();
        }
        result.face = in.Text();
    }
    for (WORD i = 0; i < count; ++i) {
        result.controls.push_back(ReadItem(in, *extended));
    }
    return result;
}

void ExpectControl(const Control& actual, const Control& expected, size_t row) {
    SCOPED_TRACE("row " + std::to_string(row + 1) + " \"" + expected.text + "\"");
    EXPECT_EQ(actual.id, expected.id);
    EXPECT_EQ(actual.atom, expected.atom);
    EXPECT_EQ(actual.text, expected.text);
    EXPECT_EQ(actual.x, expected.x);
    EXPECT_EQ(actual.y, expected.y);
    EXPECT_EQ(actual.cx, expected.cx);
    EXPECT_EQ(actual.cy, expected.cy);
    EXPECT_EQ(actual.style, expected.style) << std::hex << actual.style;
}

constexpr DWORD DialogStyle =
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;

const std::vector<Control> ConfigControls = {
    {NoId, ButtonAtom, "Advance time", 7, 7, 101, 44, Child | BS_GROUPBOX},
    {1014, EditAtom, "", 15, 25, 28, 14, Child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
    {1038, ButtonAtom, "Longer", 46, 22, 29, 11, Child | WS_TABSTOP | BS_PUSHBUTTON},
    {1039, ButtonAtom, "Shorter", 46, 33, 29, 11, Child | WS_TABSTOP | BS_PUSHBUTTON},
    {NoId, ButtonAtom, "Image Size ", 7, 56, 101, 64, Child | WS_GROUP | BS_GROUPBOX},
    {1020, ButtonAtom, "Full Screen", 29, 71, 51, 10, Child | WS_GROUP | BS_AUTORADIOBUTTON},
    {1022, ButtonAtom, "Large", 29, 86, 34, 10, Child | BS_AUTORADIOBUTTON},
    {1021, ButtonAtom, "Small", 29, 101, 33, 10, Child | BS_AUTORADIOBUTTON},
    {NoId, ButtonAtom, "Mode", 114, 56, 88, 64, Child | WS_GROUP | BS_GROUPBOX},
    {1032, ButtonAtom, "Collage", 132, 83, 46, 10, Child | BS_AUTORADIOBUTTON},
    {1033, ButtonAtom, "Slide show", 132, 69, 50, 10, Child | BS_AUTORADIOBUTTON},
    {NoId, ButtonAtom, " Image Position ", 114, 7, 88, 44, Child | WS_GROUP | BS_GROUPBOX},
    {1026, ButtonAtom, "Centered", 132, 20, 45, 10, Child | WS_GROUP | BS_AUTORADIOBUTTON},
    {1027, ButtonAtom, "Scattered", 132, 33, 47, 10, Child | BS_AUTORADIOBUTTON},
    {IDOK, ButtonAtom, "OK", 152, 185, 50, 14, Child | WS_TABSTOP | BS_DEFPUSHBUTTON},
    {IDCANCEL, ButtonAtom, "Cancel", 7, 185, 50, 14, Child | WS_TABSTOP | BS_PUSHBUTTON},
    {1030, ButtonAtom, "About", 80, 185, 50, 14, Child | WS_TABSTOP | BS_PUSHBUTTON},
    {1046, EditAtom, "", 13, 158, 180, 14, Child | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL},
    {1047, ButtonAtom, "Browse", 125, 138, 50, 14, Child | WS_TABSTOP | BS_PUSHBUTTON},
    {NoId, ButtonAtom, " Location of Image Files ", 7, 123, 194, 55, Child | BS_GROUPBOX},
    {1048, ButtonAtom, "Include Subdirectories", 21, 139, 86, 10,
     Child | WS_TABSTOP | BS_AUTOCHECKBOX},
    {1019, ButtonAtom, "Randomize Order", 123, 101, 71, 10, Child | WS_TABSTOP | BS_AUTOCHECKBOX},
};

TEST(DialogTemplates, SetupDialogIsTheClassicTemplate2003) {
    bool extended = true;
    Template setup = LoadTemplate(IDD_CONFIG, &extended);
    EXPECT_FALSE(extended);
    EXPECT_EQ(setup.style, DialogStyle) << std::hex << setup.style;
    EXPECT_EQ(setup.cx, 209);
    EXPECT_EQ(setup.cy, 207);
    EXPECT_EQ(setup.caption, "Fotovane 3.0 Setup");
    EXPECT_EQ(setup.points, 8);
    EXPECT_EQ(setup.face, "MS Sans Serif");
    ASSERT_EQ(setup.controls.size(), ConfigControls.size());
    for (size_t i = 0; i < ConfigControls.size(); ++i) {
        ExpectControl(setup.controls[i], ConfigControls[i], i);
    }
}

TEST(DialogTemplates, AboutBoxIsTheExtendedTemplate105) {
    bool extended = false;
    Template about = LoadTemplate(IDD_ABOUT, &extended);
    EXPECT_TRUE(extended);
    EXPECT_EQ(about.style, DialogStyle) << std::hex << about.style;
    EXPECT_EQ(about.cx, 276);
    EXPECT_EQ(about.cy, 218);
    EXPECT_EQ(about.caption, "Fotovane Screen Saver 3.0");
    EXPECT_EQ(about.points, 8);
    EXPECT_EQ(about.weight, FW_NORMAL);
    EXPECT_EQ(about.italic, 0);
    EXPECT_EQ(about.charset, DEFAULT_CHARSET);
    EXPECT_EQ(about.face, "MS Sans Serif");
    ASSERT_EQ(about.controls.size(), 11u);

    const std::vector<std::pair<size_t, Control>> fixed = {
        {0, {IDOK, ButtonAtom, "OK", 203, 197, 66, 14, Child | WS_TABSTOP | BS_DEFPUSHBUTTON}},
        {1,
         {NoId, ButtonAtom, " Fotovane Screen Saver ", 7, 3, 262, 62,
          Child | BS_GROUPBOX | BS_CENTER}},
        {3,
         {1038, ButtonAtom, AboutWebAddress, 7, 197, 148, 14, Child | WS_TABSTOP | BS_PUSHBUTTON}},
        {8,
         {NoId, StaticAtom, "We encourage you to visit our web site, and try our other products!",
          35, 184, 210, 9, Child | SS_LEFT | WS_GROUP}},
        {9, {NoId, ButtonAtom, "", 7, 65, 262, 114, Child | BS_GROUPBOX | BS_CENTER}},
        {10,
         {NoId, StaticAtom,
          "This software is based in part on the work of\nThe Independent JPEG Group.", 15, 44, 245,
          17, Child | SS_CENTER | WS_GROUP}},
    };
    for (const auto& row : fixed) {
        ExpectControl(about.controls[row.first], row.second, row.first);
    }

    // The rights block sits in the upper frame, the terms and the disclaimer in the lower one.
    auto inside = [](const Control& c, short x, short y, short cx, short cy) {
        return c.x >= x && c.y >= y && c.x + c.cx <= x + cx && c.y + c.cy <= y + cy;
    };
    EXPECT_TRUE(inside(about.controls[2], 7, 3, 262, 62));
    EXPECT_NE(about.controls[2].text.find("the Fotovane team"), std::string::npos);
    for (size_t row = 4; row <= 7; ++row) {
        EXPECT_EQ(about.controls[row].atom, StaticAtom) << "row " << row + 1;
        EXPECT_TRUE(inside(about.controls[row], 7, 65, 262, 114)) << "row " << row + 1;
    }
}

class SetupDialogWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        g_instance = GetModuleHandleA(nullptr);
        DeleteStoredSettings();
        dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_CONFIG),
                                     nullptr, ConfigDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        ShowWindow(dialog_, SW_SHOW);
    }
    void TearDown() override {
        DestroyWindow(dialog_);
        DeleteStoredSettings();
    }
    HWND dialog_ = nullptr;
};

TEST_F(SetupDialogWindowTest, TabOrderFollowsTheTemplate) {
    // A radio group is one stop, at its checked button; the defaults check Full Screen,
    // Slide show and Scattered.
    const int order[] = {IDC_DELAY,     IDC_LONGER,  IDC_SHORTER, IDC_FULL_SCREEN, IDC_SLIDE_SHOW,
                         IDC_SCATTERED, IDOK,        IDCANCEL,    IDC_ABOUT,       IDC_PATH,
                         IDC_BROWSE,    IDC_SUBDIRS, IDC_RANDOM,  IDC_DELAY};
    HWND at = GetDlgItem(dialog_, IDC_DELAY);
    for (size_t i = 1; i < sizeof(order) / sizeof(order[0]); ++i) {
        at = GetNextDlgTabItem(dialog_, at, FALSE);
        EXPECT_EQ(GetDlgCtrlID(at), order[i]) << "stop " << i;
    }
}

TEST_F(SetupDialogWindowTest, EachRadioGroupClearsOnlyItself) {
    Click(dialog_, IDC_CENTERED);
    Click(dialog_, IDC_SLIDE_SHOW);
    Click(dialog_, IDC_SMALL);
    EXPECT_FALSE(Checked(dialog_, IDC_FULL_SCREEN));
    EXPECT_TRUE(Checked(dialog_, IDC_CENTERED));
    EXPECT_TRUE(Checked(dialog_, IDC_SLIDE_SHOW));

    Click(dialog_, IDC_SCATTERED);
    EXPECT_FALSE(Checked(dialog_, IDC_CENTERED));
    EXPECT_TRUE(Checked(dialog_, IDC_SMALL));
    EXPECT_TRUE(Checked(dialog_, IDC_SLIDE_SHOW));

    Click(dialog_, IDC_LARGE);
    EXPECT_FALSE(Checked(dialog_, IDC_SMALL));
    EXPECT_TRUE(Checked(dialog_, IDC_SCATTERED));
    EXPECT_TRUE(Checked(dialog_, IDC_SLIDE_SHOW));
}

}  // namespace
