// The image model: lifecycle and ownership, resize, copy, pixel access and
// the geometric transforms.
#include <gtest/gtest.h>

#include <cstring>

#include "image/image_model.h"
#include "support/test_support.h"

using testing_support::Image;
using testing_support::bytes;
using testing_support::fill_pattern;
using testing_support::pack;
using testing_support::pattern_value;

namespace {

void expect_empty(const rasterkit_image *image) {
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->width, 0);
    EXPECT_EQ(image->height, 0);
    EXPECT_EQ(image->data, nullptr);
}

bool all_zero(const bytes &b) {
    for (std::uint8_t v : b)
        if (v != 0) return false;
    return true;
}

}  // namespace

TEST(ImageLifecycle, NewGivesZeroedBufferOfExactSize) {
    rasterkit_image *image = nullptr;
    ASSERT_EQ(rasterkit_image_new(&image, 2, 3), 0);
    EXPECT_EQ(image->width, 2);
    EXPECT_EQ(image->height, 3);
    ASSERT_NE(image->data, nullptr);
    for (int i = 0; i < 24; ++i) EXPECT_EQ(image->data[i], 0) << i;
    EXPECT_EQ(rasterkit_image_delete(&image), 0);
    EXPECT_EQ(image, nullptr);
}

TEST(ImageLifecycle, NonPositiveSizesGiveEmptyRecordAndSuccess) {
    const std::int32_t sizes[][2] = {{0, 5}, {-3, 4}, {5, 0}, {0, 0}, {INT32_MIN, -1}};
    for (const auto &size : sizes) {
        rasterkit_image *image = nullptr;
        EXPECT_EQ(rasterkit_image_new(&image, size[0], size[1]), 0);
        expect_empty(image);
        rasterkit_image_delete(&image);
    }
}

TEST(ImageLifecycle, NewWithNullAddressFails) { EXPECT_EQ(rasterkit_image_new(nullptr, 2, 2), -1); }

TEST(ImageLifecycle, NewReplacesRecordTheVariableHolds) {
    // The old record must be freed (the sanitizer/valgrind runs catch a leak).
    rasterkit_image *image = nullptr;
    ASSERT_EQ(rasterkit_image_new(&image, 8, 8), 0);
    ASSERT_EQ(rasterkit_image_new(&image, 3, 1), 0);
    EXPECT_EQ(image->width, 3);
    EXPECT_EQ(image->height, 1);
    rasterkit_image_delete(&image);
}

TEST(ImageLifecycle, DeleteIsSafeOnNullAndTwice) {
    rasterkit_image *image = nullptr;
    EXPECT_EQ(rasterkit_image_delete(nullptr), 0);
    EXPECT_EQ(rasterkit_image_delete(&image), 0);
    ASSERT_EQ(rasterkit_image_new(&image, 1, 1), 0);
    EXPECT_EQ(rasterkit_image_delete(&image), 0);
    EXPECT_EQ(rasterkit_image_delete(&image), 0);
}

TEST(ImageLifecycle, SizesAboveLimitAreRefusedLeavingDeletableVariable) {
    rasterkit_image *image = nullptr;
    // 2^29 + 1 pixels, and products that wrap in 32 bits.
    const std::int32_t sizes[][2] = {{(1 << 29) + 1, 1}, {1 << 15, (1 << 14) + 1}, {65536, 65536}, {INT32_MAX, INT32_MAX}};
    for (const auto &size : sizes) {
        EXPECT_EQ(rasterkit_image_new(&image, size[0], size[1]), -1);
        expect_empty(image);
    }
    rasterkit_image_delete(&image);
}

TEST(ImageResize, ResizeRefusedAboveLimitLeavesRecordUnchanged) {
    Image image(2, 2);
    fill_pattern(image.get(), 1);
    const bytes before = image.pixels();
    std::uint8_t *buffer = image->data;
    EXPECT_EQ(rasterkit_image_resize(image.get(), 1 << 15, (1 << 14) + 1), -1);
    EXPECT_EQ(image->data, buffer);
    EXPECT_EQ(image.width(), 2);
    EXPECT_EQ(image.pixels(), before);
}

TEST(ImageResize, KeepsCommonTopLeftRegionAndZeroesTheRest) {
    struct Case {
        std::int32_t from_w, from_h, to_w, to_h;
    };
    const Case cases[] = {{2, 2, 3, 1}, {2, 2, 1, 3}, {5, 4, 7, 6}, {7, 6, 3, 2}, {3, 3, 3, 3}, {1, 5, 4, 1}};
    for (const Case &c : cases) {
        Image image(c.from_w, c.from_h);
        fill_pattern(image.get(), 7);
        ASSERT_EQ(rasterkit_image_resize(image.get(), c.to_w, c.to_h), 0);
        ASSERT_EQ(image.width(), c.to_w);
        ASSERT_EQ(image.height(), c.to_h);
        for (std::int32_t y = 0; y < c.to_h; ++y) {
            for (std::int32_t x = 0; x < c.to_w; ++x) {
                const bool kept = x < c.from_w && y < c.from_h;
                EXPECT_EQ(image.packed(x, y), kept ? pattern_value(x, y, 7) : 0u)
                    << c.from_w << "x" << c.from_h << " -> " << c.to_w << "x" << c.to_h << " at " << x << "," << y;
            }
        }
    }
}

TEST(ImageResize, EveryPositiveResizeReplacesTheBuffer) {
    Image image(4, 4);
    fill_pattern(image.get(), 3);
    const bytes before = image.pixels();
    // The new buffer is allocated before the old one is freed, so the two
    // addresses must differ.
    const std::uint8_t *old_buffer = image->data;
    ASSERT_EQ(rasterkit_image_resize(image.get(), 4, 4), 0);
    EXPECT_NE(image->data, old_buffer);
    EXPECT_EQ(image.pixels(), before);
}

TEST(ImageResize, NonPositiveSizeEmptiesThenGrowsToZeroPixels) {
    Image image(2, 2);
    fill_pattern(image.get(), 1);
    EXPECT_EQ(rasterkit_image_resize(image.get(), 5, 0), 0);
    expect_empty(image.get());
    ASSERT_EQ(rasterkit_image_resize(image.get(), 2, 2), 0);
    EXPECT_TRUE(all_zero(image.pixels()));
    EXPECT_EQ(rasterkit_image_resize(nullptr, 2, 2), -1);
}

TEST(ImageClear, ZeroesAllChannelsAndIgnoresEmptyOrNull) {
    Image image(3, 2);
    fill_pattern(image.get(), 9);
    std::uint8_t *buffer = image->data;
    rasterkit_image_clear(image.get());
    EXPECT_EQ(image->data, buffer);
    EXPECT_TRUE(all_zero(image.pixels()));
    Image empty;
    rasterkit_image_clear(empty.get());
    expect_empty(empty.get());
    rasterkit_image_clear(nullptr);
}

TEST(ImageCopy, DestinationBecomesExactCopyWithOwnBuffer) {
    Image source(3, 2);
    Image destination(1, 1);
    fill_pattern(source.get(), 5);
    const bytes before = source.pixels();
    ASSERT_EQ(rasterkit_image_copy(destination.get(), source.get()), 0);
    EXPECT_EQ(destination.width(), 3);
    EXPECT_EQ(destination.height(), 2);
    EXPECT_NE(destination->data, source->data);
    EXPECT_EQ(destination.pixels(), before);
    EXPECT_EQ(source.pixels(), before);
}

TEST(ImageCopy, EmptySourceEmptiesDestination) {
    Image source;
    Image destination(4, 4);
    EXPECT_EQ(rasterkit_image_copy(destination.get(), source.get()), 0);
    expect_empty(destination.get());
}

TEST(ImageCopy, NullArgumentsFailAndLeaveDestinationUntouched) {
    Image destination(2, 2);
    fill_pattern(destination.get(), 2);
    const bytes before = destination.pixels();
    std::uint8_t *buffer = destination->data;
    EXPECT_EQ(rasterkit_image_copy(destination.get(), nullptr), -1);
    EXPECT_EQ(destination->data, buffer);
    EXPECT_EQ(destination.pixels(), before);
    EXPECT_EQ(rasterkit_image_copy(nullptr, destination.get()), -1);
}

TEST(ImageCopy, OntoItselfKeepsPixels) {
    Image image(5, 3);
    fill_pattern(image.get(), 4);
    const bytes before = image.pixels();
    EXPECT_EQ(rasterkit_image_copy(image.get(), image.get()), 0);
    EXPECT_EQ(image.pixels(), before);
}

TEST(PixelAccess, PackedLayoutInBuffer) {
    Image image(2, 2);
    ASSERT_EQ(rasterkit_set_pixel_RGBA(image.get(), 1, 1, 10, 20, 30, 40), 0);
    EXPECT_EQ(image->data[12], 10);
    EXPECT_EQ(image->data[13], 20);
    EXPECT_EQ(image->data[14], 30);
    EXPECT_EQ(image->data[15], 40);

    ASSERT_EQ(rasterkit_set_pixel(image.get(), 0, 1, 0xFF000000u), 0);
    EXPECT_EQ(image.packed(0, 1), pack(0, 0, 0, 255));
    ASSERT_EQ(rasterkit_set_pixel(image.get(), 1, 0, 255u), 0);
    EXPECT_EQ(image.packed(1, 0), pack(255, 0, 0, 0));

    const std::uint32_t v = 0x12345678u;
    ASSERT_EQ(rasterkit_set_pixel(image.get(), 0, 0, v), 0);
    std::uint8_t rgba[4];
    ASSERT_EQ(rasterkit_get_pixel(image.get(), 0, 0, rgba), 0);
    EXPECT_EQ(rgba[0], 0x78);
    EXPECT_EQ(rgba[1], 0x56);
    EXPECT_EQ(rgba[2], 0x34);
    EXPECT_EQ(rgba[3], 0x12);
}

TEST(PixelAccess, OutOfRangeFailsWritesNothingAndReadsZero) {
    Image image(2, 2);
    fill_pattern(image.get(), 8);
    const bytes before = image.pixels();
    const std::int32_t outside[][2] = {{2, 0}, {0, 2}, {-1, 0}, {0, -1}, {INT32_MIN, INT32_MIN}, {INT32_MAX, 0}};
    for (const auto &p : outside) {
        EXPECT_EQ(rasterkit_set_pixel_RGBA(image.get(), p[0], p[1], 1, 2, 3, 4), -1);
        EXPECT_EQ(rasterkit_set_pixel(image.get(), p[0], p[1], 0xFFFFFFFFu), -1);
        std::uint8_t rgba[4] = {9, 9, 9, 9};
        EXPECT_EQ(rasterkit_get_pixel(image.get(), p[0], p[1], rgba), -1);
        EXPECT_EQ(pack(rgba[0], rgba[1], rgba[2], rgba[3]), 0u);
        std::uint8_t r = 9, b = 9;
        EXPECT_EQ(rasterkit_get_pixel_RGBA(image.get(), p[0], p[1], &r, nullptr, &b, nullptr), -1);
        EXPECT_EQ(r, 0);
        EXPECT_EQ(b, 0);
    }
    EXPECT_EQ(image.pixels(), before);
}

TEST(PixelAccess, EmptyAndNullImagesFailEverywhere) {
    Image empty;
    std::uint8_t rgba[4];
    EXPECT_EQ(rasterkit_set_pixel_RGBA(empty.get(), 0, 0, 1, 2, 3, 4), -1);
    EXPECT_EQ(rasterkit_set_pixel(nullptr, 0, 0, 1), -1);
    EXPECT_EQ(rasterkit_get_pixel(empty.get(), 0, 0, rgba), -1);
    EXPECT_EQ(rasterkit_get_pixel_RGBA(nullptr, 0, 0, nullptr, nullptr, nullptr, nullptr), -1);
}

TEST(PixelAccess, GetRGBASkipsNullPointers) {
    Image image(1, 1);
    rasterkit_set_pixel_RGBA(image.get(), 0, 0, 1, 2, 3, 4);
    EXPECT_EQ(rasterkit_get_pixel_RGBA(image.get(), 0, 0, nullptr, nullptr, nullptr, nullptr), 0);
    std::uint8_t alpha = 0;
    EXPECT_EQ(rasterkit_get_pixel_RGBA(image.get(), 0, 0, nullptr, nullptr, nullptr, &alpha), 0);
    EXPECT_EQ(alpha, 4);
    EXPECT_EQ(rasterkit_get_pixel(image.get(), 0, 0, nullptr), -1);
}

namespace {

// Expected pixel of the transformed image at (x, y), from the original w x h.
using Mapping = std::uint32_t (*)(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t h);

std::uint32_t mirrored_x(std::int32_t x, std::int32_t y, std::int32_t w, std::int32_t) {
    return pattern_value(w - 1 - x, y, 11);
}
std::uint32_t mirrored_y(std::int32_t x, std::int32_t y, std::int32_t, std::int32_t h) {
    return pattern_value(x, h - 1 - y, 11);
}
std::uint32_t transposed(std::int32_t x, std::int32_t y, std::int32_t, std::int32_t) { return pattern_value(y, x, 11); }

struct TransformCase {
    const char *name;
    void (*apply)(rasterkit_image *);
    Mapping expected;
    bool swaps_size;
};

void transpose_ignoring_result(rasterkit_image *image) { ASSERT_EQ(rasterkit_transpose_image(image), 0); }

const TransformCase transform_cases[] = {
    {"flipx", rasterkit_image_flipx, mirrored_x, false},
    {"flipy", rasterkit_image_flipy, mirrored_y, false},
    {"transpose", transpose_ignoring_result, transposed, true},
};

}  // namespace

TEST(Transforms, MoveWholePixelsToTheirMirroredOrTransposedPlace) {
    // Sizes across the transpose's tile edges and odd/even counts.
    const std::int32_t sizes[][2] = {{1, 1}, {3, 1}, {1, 3}, {3, 2}, {2, 3}, {33, 65}, {64, 32}, {100, 7}};
    for (const TransformCase &t : transform_cases) {
        for (const auto &size : sizes) {
            const std::int32_t w = size[0], h = size[1];
            Image image(w, h);
            fill_pattern(image.get(), 11);
            t.apply(image.get());
            ASSERT_EQ(image.width(), t.swaps_size ? h : w) << t.name;
            ASSERT_EQ(image.height(), t.swaps_size ? w : h) << t.name;
            for (std::int32_t y = 0; y < image.height(); ++y)
                for (std::int32_t x = 0; x < image.width(); ++x)
                    ASSERT_EQ(image.packed(x, y), t.expected(x, y, w, h)) << t.name << " " << w << "x" << h << " at " << x << "," << y;
        }
    }
}

TEST(Transforms, MirrorsKeepBufferAndUndoThemselves) {
    for (const TransformCase &t : transform_cases) {
        Image image(7, 5);
        fill_pattern(image.get(), 2);
        const bytes before = image.pixels();
        std::uint8_t *buffer = image->data;
        t.apply(image.get());
        if (!t.swaps_size) {
            EXPECT_EQ(image->data, buffer) << t.name;
        }
        t.apply(image.get());
        EXPECT_EQ(image.pixels(), before) << t.name;
    }
}

TEST(Transforms, TransposeOfSquareGivesNewBufferAndKeepsDiagonal) {
    Image image(4, 4);
    fill_pattern(image.get(), 6);
    std::uint8_t *buffer = image->data;
    ASSERT_EQ(rasterkit_transpose_image(image.get()), 0);
    EXPECT_NE(image->data, buffer);
    for (std::int32_t i = 0; i < 4; ++i) EXPECT_EQ(image.packed(i, i), pattern_value(i, i, 6));
}

TEST(Transforms, TransposeThenFlipxIsQuarterTurnClockwise) {
    Image image(3, 2);
    fill_pattern(image.get(), 1);
    ASSERT_EQ(rasterkit_transpose_image(image.get()), 0);
    rasterkit_image_flipx(image.get());
    // Old top-left ends top-right; old bottom-left ends top-left.
    EXPECT_EQ(image.packed(1, 0), pattern_value(0, 0, 1));
    EXPECT_EQ(image.packed(0, 0), pattern_value(0, 1, 1));
    EXPECT_EQ(image.packed(1, 2), pattern_value(2, 0, 1));
}

TEST(Transforms, EmptyAndNullImages) {
    Image empty;
    rasterkit_image_flipx(empty.get());
    rasterkit_image_flipy(empty.get());
    EXPECT_EQ(rasterkit_transpose_image(empty.get()), 0);
    expect_empty(empty.get());
    rasterkit_image_flipx(nullptr);
    rasterkit_image_flipy(nullptr);
    EXPECT_EQ(rasterkit_transpose_image(nullptr), -1);
}

TEST(ImageModelInternals, AdoptPixelsTakesOverBufferAndFreesOld) {
    Image image(2, 2);
    auto *pixels = static_cast<std::uint8_t *>(std::malloc(4 * 3 * 1));
    for (int i = 0; i < 12; ++i) pixels[i] = static_cast<std::uint8_t>(i);
    rasterkit::adopt_pixels(image.get(), pixels, 3, 1);
    EXPECT_EQ(image->data, pixels);
    EXPECT_EQ(image.width(), 3);
    EXPECT_EQ(image.packed(2, 0), pack(8, 9, 10, 11));
}

TEST(ImageModelInternals, SizeLimitIsExactlyTwoToThe29Pixels) {
    EXPECT_TRUE(rasterkit::size_fits(1 << 29, 1));
    EXPECT_TRUE(rasterkit::size_fits(1 << 14, 1 << 15));
    EXPECT_FALSE(rasterkit::size_fits((1 << 29) + 1, 1));
    EXPECT_FALSE(rasterkit::size_fits(0, 5));
    EXPECT_FALSE(rasterkit::size_fits(std::int64_t{1} << 40, 1));
}
