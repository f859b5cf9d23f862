#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "show/catalogue.h"
#include "show/show_engine.h"
#include "show/show_random.h"
#include "show/test_folder.h"
#include "show/test_pictures.h"

namespace {

ShowEngine g_engine;

// The ticks, counted from the timer's first, on which frames are drawn; tick 0 is the call that
// starts the show.
std::vector<int> DrawingTicks(int32_t delay, int ticks) {
    g_settings.delay = delay;
    g_engine.tickCount = 0;
    std::vector<int> drawn;
    for (int tick = 0; tick <= ticks; ++tick) {
        if (CountShowTick(g_engine)) {
            drawn.push_back(tick);
        }
    }
    return drawn;
}

TEST(ShowScheduler, DrawsEveryDelayTicks) {
    EXPECT_EQ(DrawingTicks(10, 35), (std::vector<int>{10, 20, 30}));
    EXPECT_EQ(DrawingTicks(1, 4), (std::vector<int>{1, 2, 3, 4}));
    // Zero or less: the start draws at once, then every tick.
    EXPECT_EQ(DrawingTicks(0, 3), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_EQ(DrawingTicks(-5, 3), (std::vector<int>{0, 1, 2, 3}));
}

TEST(ShowScheduler, LongestDelayDoesNotOverflowTheCount) {
    g_settings.delay = INT32_MAX;
    g_engine.tickCount = INT32_MAX - 1;
    EXPECT_EQ(CountShowTick(g_engine), 0);
    EXPECT_EQ(g_engine.tickCount, INT32_MAX);
    EXPECT_EQ(CountShowTick(g_engine), 1);
    EXPECT_EQ(g_engine.tickCount, 1);
}

struct Box {
    int32_t width;
    int32_t height;
    bool operator==(const Box& other) const {
        return width == other.width && height == other.height;
    }
};

Box TargetFor(int32_t size, int32_t clientWidth, int32_t clientHeight) {
    g_settings.size = size;
    g_engine.clientWidth = clientWidth;
    g_engine.clientHeight = clientHeight;
    ComputeTargetSize(g_engine);
    return {g_engine.targetWidth, g_engine.targetHeight};
}

TEST(ShowLayout, TargetBoxFollowsTheSize) {
    EXPECT_EQ(TargetFor(0, 1024, 768), (Box{1024, 768}));
    EXPECT_EQ(TargetFor(1, 1024, 768), (Box{768, 576}));
    EXPECT_EQ(TargetFor(2, 1024, 768), (Box{512, 384}));
    EXPECT_EQ(TargetFor(0, 800, 600), (Box{800, 600}));
    EXPECT_EQ(TargetFor(1, 800, 600), (Box{600, 450}));
    EXPECT_EQ(TargetFor(2, 800, 600), (Box{400, 300}));
    EXPECT_EQ(TargetFor(1, 152, 112), (Box{114, 84}));
    EXPECT_EQ(TargetFor(7, 1024, 768), (Box{512, 384}));
    EXPECT_EQ(TargetFor(-1, 801, 601), (Box{400, 300}));
}

void PlaceOn(int32_t clientWidth, int32_t clientHeight, int32_t width, int32_t height) {
    g_engine.clientWidth = clientWidth;
    g_engine.clientHeight = clientHeight;
    g_engine.image.width = width;
    g_engine.image.height = height;
    PlaceImage(g_engine);
}

TEST(ShowLayout, CenteredPictures) {
    g_settings.position = 0;
    PlaceOn(1024, 768, 320, 240);
    EXPECT_EQ(g_engine.imageX, 352);
    EXPECT_EQ(g_engine.imageY, 264);
    PlaceOn(1024, 768, 1023, 767);
    EXPECT_EQ(g_engine.imageX, 0);
    EXPECT_EQ(g_engine.imageY, 0);
}

TEST(ShowLayout, ScatteredPlacesRepeatWhenNotSeeded) {
    for (int32_t position : {1, 5, -1}) {
        g_settings.position = position;
        g_showRandom.Seed(1);  // the start value of every run without random order
        std::vector<int32_t> places;
        for (int i = 0; i < 3; ++i) {
            PlaceOn(1024, 768, 320, 240);
            places.push_back(g_engine.imageX);
            places.push_back(g_engine.imageY);
        }
        // Horizontal first: 41, 18467, 6334, 26500, 19169, 15724 scaled by 704 and 528.
        EXPECT_EQ(places, (std::vector<int32_t>{0, 297, 136, 427, 411, 253})) << position;
    }
}

TEST(ShowLayout, ScatteredPlaceReachesTheFarEdgeOfAHugeClient) {
    g_settings.position = 1;
    g_showRandom.Seed(30091);  // its first number is 32767
    PlaceOn(100000, 768, 100, 768);
    EXPECT_EQ(g_engine.imageX, 99900);
    EXPECT_EQ(g_engine.imageY, 0);
}

class ShowFrame : public ::testing::Test {
  protected:
    void SetUp() override {
        g_settings = SaverSettings{};
        g_settings.size = 0;
        g_engine.firstFramePending = 0;
    }
    void TearDown() override { g_engine.image.Release(); }

    // Names the one file as the current entry of the catalogue.
    void Show(const std::string& path) {
        BuildCatalogue(folder.Text().c_str(), 0);
        for (int32_t i = 0; i < g_catalogue.count; ++i) {
            if (path == g_catalogue.paths[i]) {
                g_catalogue.currentIndex = i;
                return;
            }
        }
        strcpy(g_catalogue.paths[0], path.c_str());
        g_catalogue.currentIndex = 0;
    }

    TestFolder folder;
};

TEST_F(ShowFrame, LargePictureIsReducedIntoTheBox) {
    std::string big = folder.PathOf("big.jpg");
    WriteSolidJpeg(big, 2048, 1536, {200, 40, 40});
    Show(big);
    g_settings.size = 1;
    ASSERT_TRUE(LoadFramePicture(1024, 768, g_engine));
    EXPECT_EQ(g_engine.targetWidth, 768);
    EXPECT_EQ(g_engine.image.width, 768);
    EXPECT_EQ(g_engine.image.height, 576);
    ASSERT_NE(g_engine.image.header, nullptr);
    EXPECT_EQ(g_engine.image.header->biWidth, 768);
    EXPECT_EQ(g_engine.image.header->biHeight, -576);
}

TEST_F(ShowFrame, PictureIsScaledOnlyWhenLargerThanTheBox) {
    std::string exact = folder.PathOf("exact.jpg");
    std::string wider = folder.PathOf("wider.jpg");
    std::string small = folder.PathOf("small.jpg");
    WriteSolidJpeg(exact, 320, 240, {10, 200, 10});
    WriteSolidJpeg(wider, 321, 240, {10, 200, 10});
    WriteSolidJpeg(small, 100, 50, {10, 200, 10});

    Show(exact);
    ASSERT_TRUE(LoadFramePicture(320, 240, g_engine));
    EXPECT_EQ(g_engine.image.width, 320);
    EXPECT_EQ(g_engine.image.height, 240);

    Show(wider);
    ASSERT_TRUE(LoadFramePicture(320, 240, g_engine));
    EXPECT_EQ(g_engine.image.width, 320);
    EXPECT_LT(g_engine.image.height, 240);

    Show(small);  // never enlarged
    ASSERT_TRUE(LoadFramePicture(320, 240, g_engine));
    EXPECT_EQ(g_engine.image.width, 100);
    EXPECT_EQ(g_engine.image.height, 50);
}

TEST_F(ShowFrame, UnusableFilesGiveNoPicture) {
    std::string good = folder.PathOf("good.jpg");
    std::string broken = folder.PathOf("broken.jpg");
    WriteSolidJpeg(good, 64, 48, {1, 2, 3});
    WriteBrokenJpeg(broken);

    Show(good);
    ASSERT_TRUE(LoadFramePicture(320, 240, g_engine));
    Show(broken);
    EXPECT_FALSE(LoadFramePicture(320, 240, g_engine));
    EXPECT_TRUE(g_engine.image.failed);

    Show(good);
    ASSERT_TRUE(LoadFramePicture(320, 240, g_engine));
    Show(folder.PathOf("gone.jpg"));
    EXPECT_FALSE(LoadFramePicture(320, 240, g_engine));
    EXPECT_FALSE(g_engine.image.loaded);
    EXPECT_EQ(g_engine.image.pixels, nullptr);

    g_catalogue.paths[0][0] = '\0';  // the empty catalogue's entry
    g_catalogue.currentIndex = 0;
    EXPECT_FALSE(LoadFramePicture(320, 240, g_engine));
}

}  // namespace
