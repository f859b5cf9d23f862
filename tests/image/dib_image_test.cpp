#include <gtest/gtest.h>

#include "image/dib_image.h"
#include "test_jpeg.h"

TEST(DibImage, RowLengthsRoundUpToFourBytes) {
    EXPECT_EQ(DibStride(1), 4);
    EXPECT_EQ(DibStride(4), 12);
    EXPECT_EQ(DibStride(5), 16);
    EXPECT_EQ(IndexStride(1), 4);
    EXPECT_EQ(IndexStride(4), 4);
    EXPECT_EQ(IndexStride(5), 8);
}

TEST(DibImage, FreshAndReleasedObjectsAreEmpty) {
    DibImage image;
    EXPECT_FALSE(image.loaded);
    EXPECT_FALSE(image.failed);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.width, 0);
    FillImage(image, 5, 4, [](int, int, int) { return 7; });
    image.MakeHeader();
    image.dithered = 1;
    image.Release();
    EXPECT_FALSE(image.loaded);
    EXPECT_FALSE(image.dithered);
    EXPECT_EQ(image.pixels, nullptr);
    EXPECT_EQ(image.header, nullptr);
    EXPECT_EQ(image.width, 5);  // sizes stay
}

TEST(DibImage, HeaderDescribesTopDownPictureAndIsReused) {
    DibImage image;
    FillImage(image, 10, 10, [](int, int, int) { return 255; });
    image.MakeHeader();
    DibHeader* first = image.header;
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->biSize, 40u);
    EXPECT_EQ(first->biWidth, 10);
    EXPECT_EQ(first->biHeight, -10);
    EXPECT_EQ(first->biPlanes, 1);
    EXPECT_EQ(first->biBitCount, 24);
    EXPECT_EQ(first->biCompression, 0u);
    EXPECT_EQ(first->biXPelsPerMeter, 1000);
    EXPECT_EQ(first->biYPelsPerMeter, 1000);
    EXPECT_EQ(first->biClrUsed, 0u);
    image.Scale(3, 3, ScaleTypeFit);
    EXPECT_EQ(image.header, first);
    EXPECT_EQ(first->biWidth, 3);
    EXPECT_EQ(first->biHeight, -3);
}

// A show of pictures of several sizes: after the first round the frames take no new memory,
// and every frame is still the right picture.
TEST(DibImage, FramesKeepTheirMemoryFromOneToTheNext) {
    const int sizes[][2] = {{240, 180}, {96, 200}, {64, 48}};
    std::string paths[3];
    for (int i = 0; i < 3; ++i) {
        JpegOptions o;
        o.width = sizes[i][0];
        o.height = sizes[i][1];
        paths[i] = WriteTempFile("frame" + std::to_string(i) + ".jpg", EncodeJpeg(o));
    }
    const int fitted[][2] = {{100, 75}, {38, 80}, {64, 48}};
    DibImage image;
    uint8_t* pixelBlock = nullptr;
    uint8_t* workBlock = nullptr;
    size_t pixelBytes = 0;
    for (int frame = 0; frame < 1000; ++frame) {
        const int i = frame % 3;
        ASSERT_TRUE(DecodeFile(image, paths[i], 100, 80));
        if (image.width > 100 || image.height > 80) {
            image.Scale(100, 80, ScaleTypeFit);
        }
        ASSERT_FALSE(image.failed);
        ASSERT_EQ(image.width, fitted[i][0]);
        ASSERT_EQ(image.height, fitted[i][1]);
        ASSERT_EQ(image.pixels, image.pixelBlock);
        if (frame == 2) {
            pixelBlock = image.pixelBlock;
            workBlock = image.workBlock;
            pixelBytes = image.pixelBlockBytes;
        } else if (frame > 2) {
            ASSERT_EQ(image.pixelBlock, pixelBlock) << frame;
            ASSERT_EQ(image.workBlock, workBlock) << frame;
            ASSERT_EQ(image.pixelBlockBytes, pixelBytes) << frame;
        }
    }
    image.FreeMemory();
    EXPECT_EQ(image.pixelBlock, nullptr);
    EXPECT_EQ(image.workBlock, nullptr);
}
