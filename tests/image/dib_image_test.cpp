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
