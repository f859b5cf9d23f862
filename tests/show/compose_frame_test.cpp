// The frame rules shared by every front end, seen through a front end that records what it is
// asked to do.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/show_engine.h"
#include "show/show_random.h"
#include "show/test_folder.h"
#include "show/test_pictures.h"

namespace {

std::vector<std::string> g_calls;
uintptr_t g_nextBuffer = 1;
bool g_makeFails = false;
int g_liveBuffers = 0;

std::string Size(int32_t width, int32_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

std::string Name(FrameBuffer buffer) {
    return "#" + std::to_string(reinterpret_cast<uintptr_t>(buffer));
}

}  // namespace

FrameBuffer MakeFrameBuffer(DrawContext, int32_t width, int32_t height) {
    if (g_makeFails) {
        g_calls.push_back("make failed");
        return nullptr;
    }
    FrameBuffer buffer = reinterpret_cast<FrameBuffer>(g_nextBuffer++);
    g_calls.push_back("make " + Name(buffer) + " " + Size(width, height));
    ++g_liveBuffers;
    return buffer;
}

void FreeFrameBuffer(FrameBuffer buffer) {
    g_calls.push_back("free " + Name(buffer));
    --g_liveBuffers;
}

int32_t BeginFrameDrawing(DrawContext, FrameBuffer buffer) {
    g_calls.push_back("begin " + Name(buffer));
    return 1;
}

void EndFrameDrawing(DrawContext) {
    g_calls.push_back("end");
}

void ClearFrameBuffer(DrawContext, int32_t width, int32_t height) {
    g_calls.push_back("clear " + Size(width, height));
}

void CopyKeptFrame(DrawContext, FrameBuffer kept, int32_t width, int32_t height) {
    g_calls.push_back("copy " + Name(kept) + " " + Size(width, height));
}

void DrawFramePicture(DrawContext, DibImage& image, int32_t x, int32_t y) {
    g_calls.push_back("draw " + Size(image.width, image.height) + " at " + std::to_string(x) + "," +
                      std::to_string(y));
}

void PresentFrame(DrawContext, int32_t width, int32_t height) {
    g_calls.push_back("present " + Size(width, height));
}

namespace {

class ComposeFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = SaverSettings{};
        g_settings.position = 0;
        g_settings.size = 0;
        g_calls.clear();
        g_nextBuffer = 1;
        g_makeFails = false;
        g_liveBuffers = 0;
        WriteSolidJpeg(folder.PathOf("a.jpg"), 200, 100, {200, 10, 10});
        WriteBrokenJpeg(folder.PathOf("b.jpg"));
        WriteSolidJpeg(folder.PathOf("c.jpg"), 100, 100, {10, 200, 10});
        std::snprintf(g_settings.path, MaxPath, "%s", folder.Text().c_str());
        show.firstFramePending = 1;
    }
    void TearDown() override {
        DropBackBuffer(show);
        show.image.Release();
        EXPECT_EQ(g_liveBuffers, 0) << "a frame buffer leaked";
    }

    // Draws the frame of the given catalogue entry and returns what the front end was asked.
    std::vector<std::string> Frame(const char* name, int32_t width, int32_t height) {
        BuildCatalogue(g_settings.path, 0);
        g_catalogue.currentIndex = -1;
        for (int32_t i = 0; i < g_catalogue.count; ++i) {
            if (folder.PathOf(name) == g_catalogue.paths[i]) {
                g_catalogue.currentIndex = i;
                g_catalogue.orderPosition = i;
            }
        }
        EXPECT_GE(g_catalogue.currentIndex, 0) << name;
        g_calls.clear();
        DrawShowFrame(show, nullptr, width, height);
        show.firstFramePending = 0;
        return g_calls;
    }

    using Calls = std::vector<std::string>;
    TestFolder folder;
    ShowEngine show;
};

TEST_F(ComposeFrame, SlideShowFramesStartBlackAndKeepNothing) {
    g_settings.mode = 0;
    EXPECT_EQ(Frame("a.jpg", 400, 300),
              (Calls{"make #1 400x300", "begin #1", "clear 400x300", "draw 200x100 at 100,100",
                     "present 400x300", "end", "free #1"}));
    EXPECT_EQ(show.backBuffer, nullptr);
    EXPECT_EQ(Frame("c.jpg", 400, 300),
              (Calls{"make #2 400x300", "begin #2", "clear 400x300", "draw 100x100 at 150,100",
                     "present 400x300", "end", "free #2"}));
}

TEST_F(ComposeFrame, AFrontEndThatRepaintsKeepsTheSlideShowBufferButStillClears) {
    g_settings.mode = 0;
    show.keepsLastFrame = 1;
    Frame("a.jpg", 400, 300);
    EXPECT_EQ(
        Frame("c.jpg", 400, 300),
        (Calls{"begin #1", "clear 400x300", "draw 100x100 at 150,100", "present 400x300", "end"}));
    EXPECT_EQ(show.backBufferWidth, 400);
}

TEST_F(ComposeFrame, CollageBuildsOnTheKeptFrameAndCarriesItAcrossASizeChange) {
    g_settings.mode = 1;
    EXPECT_EQ(Frame("a.jpg", 400, 300),
              (Calls{"make #1 400x300", "begin #1", "clear 400x300", "draw 200x100 at 100,100",
                     "present 400x300", "end"}));
    // Same size: the kept frame is the start, nothing is cleared.
    EXPECT_EQ(Frame("c.jpg", 400, 300),
              (Calls{"begin #1", "draw 100x100 at 150,100", "present 400x300", "end"}));
    // New size: a new buffer, black, with the old frame at its top left.
    EXPECT_EQ(Frame("c.jpg", 300, 200),
              (Calls{"make #2 300x200", "begin #2", "clear 300x200", "copy #1 400x300", "free #1",
                     "draw 100x100 at 100,50", "present 300x200", "end"}));
    EXPECT_EQ(show.backBufferWidth, 300);
    EXPECT_EQ(show.backBufferHeight, 200);
    // The show's first frame starts black even where a buffer of the same size is kept.
    show.firstFramePending = 1;
    EXPECT_EQ(Frame("a.jpg", 300, 200), (Calls{"begin #2", "clear 300x200", "draw 200x100 at 50,50",
                                               "present 300x200", "end"}));
}

TEST_F(ComposeFrame, FailedPicturesAndEmptyClientsDrawNothingButStepOn) {
    g_settings.mode = 1;
    g_settings.position = 1;
    Frame("a.jpg", 400, 300);
    EXPECT_EQ(Frame("b.jpg", 400, 300), Calls{});
    EXPECT_EQ(std::string(g_catalogue.paths[(g_catalogue.orderPosition + 2) % 3]),
              folder.PathOf("b.jpg"))
        << "the catalogue steps past a failed picture";
    // An empty client still takes its place in the scattered sequence.
    g_showRandom.Seed(1);
    EXPECT_EQ(Frame("c.jpg", 0, 300), Calls{});
    EXPECT_EQ(g_showRandom.state, 1u * 214013u * 214013u + 2531011u * 214013u + 2531011u);
    // A buffer that cannot be made leaves the kept frame alone, and also uses up a place.
    g_makeFails = true;
    g_showRandom.Seed(1);
    EXPECT_EQ(Frame("c.jpg", 500, 300), Calls{"make failed"});
    EXPECT_EQ(g_showRandom.state, 1u * 214013u * 214013u + 2531011u * 214013u + 2531011u);
    EXPECT_EQ(show.backBufferWidth, 400);
}

}  // namespace
