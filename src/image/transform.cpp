// Mirrors and transposition. Each reads from a copy it owns and writes the
// image, so no pixel is overwritten before it is read. The mirrors keep the
// image's buffer and need only one row as their working copy; the transpose
// writes a new buffer from the old one, which serves as its working copy,
// in cache-sized tiles of 4 x 4 blocks.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "common/handles.h"
#include "image/image_model.h"

namespace {

constexpr std::int32_t transpose_tile = 64;  // pixels; a tile of rows stays in the first-level cache
constexpr std::int32_t block = 4;            // pixels per side of the innermost transposed block

void copy_pixel(std::uint8_t *to, const std::uint8_t *from) { std::memcpy(to, from, rasterkit::bytes_per_pixel); }

// Transposes a 4 x 4 block of pixels: row k of `from` becomes column k of `to`.
void transpose_block(const std::uint8_t *from, std::size_t from_stride, std::uint8_t *to, std::size_t to_stride) {
#if defined(__SSE2__)
    const __m128i r0 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from));
    const __m128i r1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + from_stride));
    const __m128i r2 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 2 * from_stride));
    const __m128i r3 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(from + 3 * from_stride));
    const __m128i low01 = _mm_unpacklo_epi32(r0, r1);
    const __m128i low23 = _mm_unpacklo_epi32(r2, r3);
    const __m128i high01 = _mm_unpackhi_epi32(r0, r1);
    const __m128i high23 = _mm_unpackhi_epi32(r2, r3);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to), _mm_unpacklo_epi64(low01, low23));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + to_stride), _mm_unpackhi_epi64(low01, low23));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 2 * to_stride), _mm_unpacklo_epi64(high01, high23));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(to + 3 * to_stride), _mm_unpackhi_epi64(high01, high23));
#else
    for (int y = 0; y < block; ++y)
        for (int x = 0; x < block; ++x) copy_pixel(to + x * to_stride + 4 * y, from + y * from_stride + 4 * x);
#endif
}

// Writes the transpose of `from` (width x height) into `to` (height x width):
// whole 4 x 4 blocks tile by tile, then the odd columns and rows one pixel
// at a time.
void transpose_pixels(const std::uint8_t *from, std::int32_t width, std::int32_t height, std::uint8_t *to) {
    const std::size_t from_stride = rasterkit::pixel_bytes(width);
    const std::size_t to_stride = rasterkit::pixel_bytes(height);
    auto source = [&](std::int32_t x, std::int32_t y) {
        return from + static_cast<std::size_t>(y) * from_stride + rasterkit::pixel_bytes(x);
    };
    auto target = [&](std::int32_t x, std::int32_t y) {
        return to + static_cast<std::size_t>(x) * to_stride + rasterkit::pixel_bytes(y);
    };
    const std::int32_t whole_width = width - width % block;
    const std::int32_t whole_height = height - height % block;
    for (std::int32_t x0 = 0; x0 < whole_width; x0 += transpose_tile) {
        const std::int32_t x1 = std::min(whole_width, x0 + transpose_tile);
        for (std::int32_t y0 = 0; y0 < whole_height; y0 += transpose_tile) {
            const std::int32_t y1 = std::min(whole_height, y0 + transpose_tile);
            for (std::int32_t x = x0; x < x1; x += block)
                for (std::int32_t y = y0; y < y1; y += block) transpose_block(source(x, y), from_stride, target(x, y), to_stride);
        }
    }
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = whole_width; x < width; ++x) copy_pixel(target(x, y), source(x, y));
    for (std::int32_t y = whole_height; y < height; ++y)
        for (std::int32_t x = 0; x < whole_width; ++x) copy_pixel(target(x, y), source(x, y));
}

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
            copy_pixel(row + rasterkit::pixel_bytes(x), from);
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
    transpose_pixels(image->data, old_width, old_height, fresh);
    rasterkit::adopt_pixels(image, fresh, old_height, old_width);
    return 0;
}

}  // extern "C"
