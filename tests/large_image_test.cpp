// The largest record the model holds: exactly 2^29 pixels (a 2 GiB buffer)
// is created, mirrored, transposed, written and read back as BMP; one pixel
// more is refused. Needs about 8 GiB of memory and a few GiB of disk.
#include <gtest/gtest.h>

#include "support/test_support.h"

using namespace testing_support;

TEST(LargestImage, TwoToThe29PixelsWorkEndToEnd) {
    const std::int32_t width = 1 << 15;
    const std::int32_t height = 1 << 14;
    Image image(width, height);
    ASSERT_NE(image->data, nullptr);
    rasterkit_set_pixel_RGBA(image.get(), 0, 0, 1, 2, 3, 255);
    rasterkit_set_pixel_RGBA(image.get(), width - 1, height - 1, 4, 5, 6, 255);
    rasterkit_image_flipx(image.get());
    rasterkit_image_flipy(image.get());
    EXPECT_EQ(image.packed(width - 1, height - 1), pack(1, 2, 3, 255));
    ASSERT_EQ(rasterkit_transpose_image(image.get()), 0);
    EXPECT_EQ(image.width(), height);
    EXPECT_EQ(image.packed(height - 1, width - 1), pack(1, 2, 3, 255));
    EXPECT_EQ(image.packed(0, 0), pack(4, 5, 6, 255));

    TempDir dir;
    const std::string path = dir.file("largest.bmp");
    rasterkit_writeimage_bmp(path.c_str(), image.get());
    EXPECT_EQ(file_size(path), 54L + 3L * width * height);
    Image back(1, 1);
    rasterkit_readimage_bmp(path.c_str(), back.get());
    ASSERT_EQ(back.width(), height);
    ASSERT_EQ(back.height(), width);
    EXPECT_EQ(back.packed(height - 1, width - 1), pack(1, 2, 3, 255));
    EXPECT_EQ(back.packed(0, 0), pack(4, 5, 6, 255));

    EXPECT_EQ(rasterkit_image_resize(image.get(), (1 << 29) + 1, 1), -1);
    rasterkit_image *refused = nullptr;
    EXPECT_EQ(rasterkit_image_new(&refused, (1 << 29) + 1, 1), -1);
    rasterkit_image_delete(&refused);
}
