// Mirrors and transposition. Each reads from a copy it owns and writes the
// image, so no pixel is overwritten before it is read. The mirrors keep the
// image's buffer and need only one row as their working copy; the transpose
// writes a new buffer from the old one in cache-sized tiles.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "common/handles.h"
#include "image/image_model.h"

namespace {

constexpr std::int32_t transpose_tile = 32;

void copy_pixel(std::uint8_t *to, const std::uint8_t *from) { std::memcpy(to, from, rasterkit::bytes_per_pixel); }

}  // namespace

extern "C" {

RASTERKIT_API void rasterkit_image_flipx(rasterkit_image *image) {
    if (image == nullptr || image->data == nullptr) return;
    const std::size_t stride = rasterkit::row_stride(image);
    rasterkit::byte_buffer row_copy = rasterkit::allocate_bytes(stride);
    if (!row_copy) return;

    const std::int32_t width = image->width;
    for (std::int32_t y = 0; y < image->height; ++y) {
        std::uint8_t *row = image->data + static_cast<std::size_t>(y) * stride;
        std::memcpy(row_copy.get(), row, stride);
        const std::uint8_t *from = row_copy.get() + stride;
        for (std::int32_t x = 0; x < width; ++x) {
            from -= rasterkit::bytes_per_pixel;
            copy_pixel(row + std::size_t{4} * static_cast<std::size_t>(x), from);
        }
    }
}

RASTERKIT_API void rasterkit_image_flipy(rasterkit_image *image) {
    if (image == nullptr || image->data == nullptr) return;
    const std::size_t stride = rasterkit::row_stride(image);
    rasterkit::byte_buffer row_copy = rasterkit::allocate_bytes(stride);
    if (!row_copy) return;

    std::uint8_t *top = image->data;
    std::uint8_t *bottom = image->data + static_cast<std::size_t>(image->height - 1) * stride;
    for (; top < bottom; top += stride, bottom -= stride) {
        std::memcpy(row_copy.get(), top, stride);
        std::memcpy(top, bottom, stride);
        std::memcpy(bottom, row_copy.get(), stride);
    }
}

RASTERKIT_API int32_t rasterkit_transpose_image(rasterkit_image *image) {
    if (image == nullptr) return -1;
    if (image->data == nullptr) return rasterkit_image_resize(image, 0, 0);

    const std::int32_t old_width = image->width;
    const std::int32_t old_height = image->height;
    auto *fresh = static_cast<std::uint8_t *>(std::malloc(rasterkit::buffer_bytes(old_width, old_height)));
    if (fresh == nullptr) return -1;

    // New pixel (x, y) is old pixel (y, x); the new width is the old height.
    const std::uint8_t *old_pixels = image->data;
    for (std::int32_t y0 = 0; y0 < old_height; y0 += transpose_tile) {
        const std::int32_t y1 = std::min(old_height, y0 + transpose_tile);
        for (std::int32_t x0 = 0; x0 < old_width; x0 += transpose_tile) {
            const std::int32_t x1 = std::min(old_width, x0 + transpose_tile);
            for (std::int32_t x = x0; x < x1; ++x) {
                std::uint8_t *to = fresh + std::size_t{4} * (static_cast<std::size_t>(x) * static_cast<std::size_t>(old_height) +
                                                            static_cast<std::size_t>(y0));
                const std::uint8_t *from = old_pixels + std::size_t{4} * (static_cast<std::size_t>(y0) * static_cast<std::size_t>(old_width) +
                                                                         static_cast<std::size_t>(x));
                for (std::int32_t y = y0; y < y1; ++y) {
                    copy_pixel(to, from);
                    to += rasterkit::bytes_per_pixel;
                    from += std::size_t{4} * static_cast<std::size_t>(old_width);
                }
            }
        }
    }
    rasterkit::adopt_pixels(image, fresh, old_height, old_width);
    return 0;
}

}  // extern "C"
