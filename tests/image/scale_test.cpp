#include <gtest/gtest.h>

#include <vector>
#include "image/dib_image.h"
#include "image/sample_table.h"
#include "test_jpeg.h"

namespace {
// The fitting rules written the slow, obvious way: packed rows, full intermediate picture.
struct Plain {
    int w, h;
    std::vector<int> px;  // w * h * 3
    int& at(int x, int y, int c) { return px[(static_cast<size_t>(y) * w + x) * 3 + c]; }
};

Plain ReferenceFit(Plain s, int bw, int bh) {
    while ((s.h > 2 * bh || s.w > 2 * bw) && s.h > 4 && s.w > 4) {
        Plain o{s.w / 2, s.h / 2, {}};
        o.px.resize(static_cast<size_t>(o.w) * o.h * 3);
        for (int y = 0; y < o.h; ++y)
            for (int x = 0; x < o.w; ++x)
                for (int c = 0; c < 3; ++c)
                    o.at(x, y, c) = (s.at(2 * x, 2 * y, c) + s.at(2 * x + 1, 2 * y, c) +
                                     s.at(2 * x, 2 * y + 1, c) + s.at(2 * x + 1, 2 * y + 1, c)) >>
                                    2;
        s = o;
    }
    int nh = s.h * bw / s.w, nw = bw;
    if (nh > bh) {
        nh = bh;
        nw = s.w * bh / s.h;
    }
    nh = nh > 1 ? nh : 1;
    nw = nw > 1 ? nw : 1;
    auto tap = [](int i, int src, int dst, int& n, int& f, int& wn, int& wf) {
        n = i * src / dst;
        int r = i * src % dst;
        f = n == src - 1 ? n : n + 1;
        wn = (dst - r) * 256 / dst;
        wf = r * 256 / dst;
    };
    Plain t{nw, s.h, std::vector<int>(static_cast<size_t>(nw) * s.h * 3)};
    for (int y = 0; y < s.h; ++y)
        for (int i = 0; i < nw; ++i) {
            int n, f, wn, wf;
            tap(i, s.w, nw, n, f, wn, wf);
            for (int c = 0; c < 3; ++c)
                t.at(i, y, c) = (s.at(n, y, c) * wn + s.at(f, y, c) * wf) >> 8;
        }
    Plain o{nw, nh, std::vector<int>(static_cast<size_t>(nw) * nh * 3)};
    for (int j = 0; j < nh; ++j) {
        int n, f, wn, wf;
        tap(j, s.h, nh, n, f, wn, wf);
        for (int i = 0; i < nw; ++i)
            for (int c = 0; c < 3; ++c)
                o.at(i, j, c) = (t.at(i, n, c) * wn + t.at(i, f, c) * wf) >> 8;
    }
    return o;
}

int Noise(int x, int y, int c) {
    return (x * 73 + y * 151 + c * 37 + (x * y) % 11 * 19) & 255;
}
}  // namespace

TEST(Scale, WhiteTenByTenIntoThreeByThreeLosesOneStepPerPass) {
    DibImage image;
    FillImage(image, 10, 10, [](int, int, int) { return 255; });
    image.Scale(3, 3, ScaleTypeFit);
    ASSERT_EQ(image.width, 3);
    ASSERT_EQ(image.height, 3);
    EXPECT_EQ(image.stride, 12);
    const int expected[3][3] = {{255, 254, 254}, {254, 253, 253}, {254, 253, 253}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(PixelAt(image, x, y)[c], expected[y][x]);
}

TEST(Scale, ExactlyTwiceTheBoxTakesEveryOtherPixel) {
    DibImage image;
    FillImage(image, 8, 6, Noise);
    image.Scale(4, 3, ScaleTypeFit);
    ASSERT_EQ(image.width, 4);
    ASSERT_EQ(image.height, 3);
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 4; ++i)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(PixelAt(image, i, j)[c], Noise(2 * i, 2 * j, c));
}

TEST(Scale, FiveByFiveIntoOnePixelAveragesTheTopLeftBlock) {
    DibImage image;
    FillImage(image, 5, 5, Noise);
    image.Scale(1, 1, ScaleTypeFit);
    ASSERT_EQ(image.width, 1);
    ASSERT_EQ(image.height, 1);
    for (int c = 0; c < 3; ++c) {
        int avg = (Noise(0, 0, c) + Noise(1, 0, c) + Noise(0, 1, c) + Noise(1, 1, c)) >> 2;
        EXPECT_EQ(PixelAt(image, 0, 0)[c], avg);
    }
}

TEST(Scale, SliversKeepOnePixelEachWay) {
    const int sizes[][4] = {{7, 3, 2, 5}, {65500, 1, 1024, 768}, {1, 65500, 1024, 768}};
    const int fitted[][2] = {{2, 1}, {1024, 1}, {1, 768}};
    for (int i = 0; i < 3; ++i) {
        DibImage image;
        FillImage(image, sizes[i][0], sizes[i][1], Noise);
        image.Scale(sizes[i][2], sizes[i][3], ScaleTypeFit);
        SCOPED_TRACE(testing::Message() << sizes[i][0] << "x" << sizes[i][1]);
        EXPECT_EQ(image.width, fitted[i][0]);
        EXPECT_EQ(image.height, fitted[i][1]);
        EXPECT_TRUE(image.loaded);
        EXPECT_FALSE(image.failed);
        ASSERT_NE(image.header, nullptr);
        EXPECT_EQ(image.header->biWidth, fitted[i][0]);
        EXPECT_EQ(image.header->biHeight, -fitted[i][1]);
    }
}

TEST(Scale, NothingLeftAfterHalvingFailsThePicture) {
    DibImage image;
    FillImage(image, 1, 1, Noise);
    image.Halve();
    image.FitToBox(1, 1);
    EXPECT_TRUE(image.loaded);
    EXPECT_TRUE(image.failed);
    EXPECT_EQ(image.pixels, nullptr);
}

TEST(Scale, SkipsEmptyAndFailedPicturesAndDropsThePaletteCopy) {
    DibImage image;
    image.Scale(3, 3, ScaleTypeFit);
    EXPECT_EQ(image.header, nullptr);
    FillImage(image, 6, 6, Noise);
    image.failed = 1;
    image.Scale(3, 3, ScaleTypeFit);
    EXPECT_EQ(image.width, 6);
    image.failed = 0;
    image.indexPixels = static_cast<uint8_t*>(std::malloc(64));
    image.Scale(3, 3, ScaleTypeFit);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.indexPixels, nullptr);
}

TEST(Scale, SampleTableWeightsAreFlooredSeparately) {
    SampleEntry e[3];
    BuildSampleTable(5, 3, e);
    EXPECT_EQ(e[0].nearIndex, 0);
    EXPECT_EQ(e[0].farIndex, 1);
    EXPECT_EQ(e[0].nearWeight, 256);
    EXPECT_EQ(e[0].farWeight, 0);
    EXPECT_EQ(e[1].nearIndex, 1);  // 5 / 3 = 1 remainder 2
    EXPECT_EQ(e[1].nearWeight, 85);
    EXPECT_EQ(e[1].farWeight, 170);
    EXPECT_EQ(e[2].nearIndex, 3);  // 10 / 3 = 3 remainder 1
    EXPECT_EQ(e[2].farIndex, 4);
    EXPECT_EQ(e[2].nearWeight, 170);
    EXPECT_EQ(e[2].farWeight, 85);
    SampleEntry last[2];
    BuildSampleTable(2, 2, last);
    EXPECT_EQ(last[1].nearIndex, 1);
    EXPECT_EQ(last[1].farIndex, 1);  // the last source column has no right neighbour
}

TEST(Scale, MatchesThePlainRulesForManySizes) {
    const int sizes[][4] = {{37, 23, 10, 10},     {100, 75, 33, 40},   {64, 64, 64, 64},
                            {301, 200, 152, 112}, {5, 300, 20, 20},    {300, 5, 20, 20},
                            {257, 129, 129, 257}, {1000, 10, 3, 3},    {9, 9, 4, 8},
                            {640, 480, 500, 479}, {19, 17, 18, 16},    {2, 2, 1, 1},
                            {7, 3, 2, 5},         {3000, 1, 640, 480}, {1, 3000, 640, 480}};
    for (const auto& s : sizes) {
        DibImage image;
        FillImage(image, s[0], s[1], Noise);
        Plain src{s[0], s[1], {}};
        for (int y = 0; y < s[1]; ++y)
            for (int x = 0; x < s[0]; ++x)
                for (int c = 0; c < 3; ++c)
                    src.px.push_back(Noise(x, y, c));
        Plain expected = ReferenceFit(src, s[2], s[3]);
        image.Scale(s[2], s[3], ScaleTypeFit);
        SCOPED_TRACE(testing::Message() << s[0] << "x" << s[1] << " into " << s[2] << "x" << s[3]);
        ASSERT_EQ(image.width, expected.w);
        ASSERT_EQ(image.height, expected.h);
        ASSERT_EQ(image.stride, DibStride(expected.w));
        int mismatches = 0;
        for (int y = 0; y < expected.h; ++y)
            for (int x = 0; x < expected.w; ++x)
                for (int c = 0; c < 3; ++c)
                    mismatches += PixelAt(image, x, y)[c] != expected.at(x, y, c);
        EXPECT_EQ(mismatches, 0);
    }
}
