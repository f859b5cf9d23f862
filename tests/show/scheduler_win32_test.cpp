#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "image/display.h"
#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/show_engine.h"
#include "show/show_window_win32.h"
#include "show/test_folder.h"
#include "show/test_pictures.h"

namespace {

// Frames drawn so far: every frame steps the order once, and these folders hold more files than
// a test draws frames.
int32_t Frames() {
    return g_catalogue.orderPosition;
}

class ShowScheduling : public ::testing::Test {
  protected:
    void SetUp() override {
        for (int i = 0; i < 50; ++i) {
            folder.AddFile("empty" + std::to_string(i) + ".jpg");
        }
    }

    void Store(int32_t delay, const std::string& path) {
        g_settings = SaverSettings{};
        g_settings.delay = delay;
        g_settings.position = 0;
        strcpy(g_settings.path, path.c_str());
        SaveSettings();
    }

    // Drives the show by hand: the start, the idle step, then ticks; returns the ticks that drew.
    std::vector<int> TicksThatDraw(int32_t delay, int ticks, int32_t* framesAtStart) {
        Store(delay, folder.Text());
        TestWindow window(64, 48);
        StartShow(window.Handle());
        EXPECT_EQ(g_catalogue.count, 50);
        *framesAtStart = Frames();
        OnShowIdle(window.Handle());
        EXPECT_EQ(Frames(), *framesAtStart + 1) << "the first frame comes from the idle step";
        OnShowIdle(window.Handle());
        EXPECT_EQ(Frames(), *framesAtStart + 1) << "and only once";
        std::vector<int> drawn;
        for (int tick = 1; tick <= ticks; ++tick) {
            int32_t before = Frames();
            // Any identifier counts as a tick.
            OnShowTimer(window.Handle(), tick % 2 ? ShowTimerId : 77);
            if (Frames() != before) {
                drawn.push_back(tick);
            }
        }
        return drawn;
    }

    TestFolder folder;
};

TEST_F(ShowScheduling, TickSequences) {
    int32_t atStart = -1;
    EXPECT_EQ(TicksThatDraw(10, 31, &atStart), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(atStart, 0);
    EXPECT_EQ(TicksThatDraw(1, 4, &atStart), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(atStart, 0);
    // The call from the start draws at once, then the idle step draws the next picture.
    EXPECT_EQ(TicksThatDraw(0, 3, &atStart), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(atStart, 1);
    EXPECT_EQ(TicksThatDraw(-5, 3, &atStart), (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(atStart, 1);
}

TEST_F(ShowScheduling, TimerMessagesDriveTheShow) {
    Store(1, folder.Text());
    TestWindow window(64, 48);
    StartShow(window.Handle());
    // The saver's window has messages waiting after the start; the idle step follows them.
    PostMessageA(window.Handle(), WM_NULL, 0, 0);
    window.Pump(300);
    EXPECT_EQ(Frames(), 1);
    window.Pump(2000);  // ticks near 1 and 2 seconds
    EXPECT_GE(Frames(), 2);
    EXPECT_LE(Frames(), 3);

    // A timer message with another identifier counts as a tick too.
    int32_t count = g_showEngine.tickCount;
    g_settings.delay = 10;
    SendMessageA(window.Handle(), WM_TIMER, 77, 0);
    EXPECT_EQ(g_showEngine.tickCount, count + 1);
}

TEST_F(ShowScheduling, StopShowEndsTimerAndFreesTheShow) {
    Store(1, folder.Text());
    g_settings.mode = 1;
    SaveSettings();
    TestFolder pictures;
    WriteSolidJpeg(pictures.PathOf("one.jpg"), 40, 30, {200, 100, 50});
    strcpy(g_settings.path, pictures.Text().c_str());
    SaveSettings();

    TestWindow window(64, 48);
    StartShow(window.Handle());
    OnShowIdle(window.Handle());
    ASSERT_TRUE(g_showEngine.image.loaded);
    HGDIOBJ kept = static_cast<HGDIOBJ>(g_showEngine.backBuffer);
    ASSERT_NE(kept, nullptr);
    HGDIOBJ palette = static_cast<HGDIOBJ>(showPalette);

    StopShow(window.Handle());
    EXPECT_FALSE(KillTimer(window.Handle(), ShowTimerId)) << "timer still running";
    EXPECT_FALSE(g_showEngine.image.loaded);
    EXPECT_EQ(g_showEngine.image.pixels, nullptr);
    EXPECT_EQ(g_showEngine.backBuffer, nullptr);
    EXPECT_EQ(GetObjectType(kept), 0u);
    if (palette) {
        EXPECT_EQ(GetObjectType(palette), 0u);
    }
    EXPECT_EQ(showPalette, nullptr);
}

TEST_F(ShowScheduling, ShowWithoutPicturesRunsOnBlack) {
    for (const std::string& path : {folder.PathOf("missing"), folder.PathOf("empty0.jpg")}) {
        Store(0, path);
        TestWindow window(120, 90);
        StartShow(window.Handle());
        EXPECT_EQ(g_catalogue.count, 0);
        window.Pump(1200);
        EXPECT_EQ(Frames(), 0);
        if (ScreenDepth() > 8) {
            std::vector<uint32_t> shown = window.Grab();
            EXPECT_EQ(shown, std::vector<uint32_t>(shown.size(), 0u));
        }
    }
}

}  // namespace
