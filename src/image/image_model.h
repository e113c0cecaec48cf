// Internal side of the image model: the size limit, buffer sizing, taking
// over a ready-made pixel buffer, and the inlined pixel accessors that the
// codecs use for every pixel instead of calling the exported functions.
#ifndef RASTERKIT_IMAGE_MODEL_H
#define RASTERKIT_IMAGE_MODEL_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "rasterkit.h"
#include "rasterkit_rules/formats.h"

namespace rasterkit {

constexpr int bytes_per_pixel = 4;

// Bytes taken by `count` pixels.
inline std::size_t pixel_bytes(std::int64_t count) {
    return std::size_t{bytes_per_pixel} * static_cast<std::size_t>(count);
}

inline std::size_t buffer_bytes(std::int32_t width, std::int32_t height) {
    return pixel_bytes(std::int64_t{width} * height);
}

inline std::size_t row_stride(const rasterkit_image *image) { return pixel_bytes(image->width); }

inline bool pixel_in_bounds(const rasterkit_image *image, std::int32_t x, std::int32_t y) {
    return image != nullptr && image->data != nullptr && x >= 0 && y >= 0 && x < image->width &&
           y < image->height;
}

inline std::size_t pixel_offset(const rasterkit_image *image, std::int32_t x, std::int32_t y) {
    return pixel_bytes(x + std::int64_t{y} * image->width);
}

inline bool store_pixel(rasterkit_image *image, std::int32_t x, std::int32_t y, std::uint8_t red,
                        std::uint8_t green, std::uint8_t blue, std::uint8_t alpha) {
    if (!pixel_in_bounds(image, x, y)) return false;
    std::uint8_t *pixel = image->data + pixel_offset(image, x, y);
    pixel[0] = red;
    pixel[1] = green;
    pixel[2] = blue;
    pixel[3] = alpha;
    return true;
}

inline bool load_pixel(const rasterkit_image *image, std::int32_t x, std::int32_t y, std::uint8_t rgba[4]) {
    if (!pixel_in_bounds(image, x, y)) return false;
    std::memcpy(rgba, image->data + pixel_offset(image, x, y), bytes_per_pixel);
    return true;
}

// Row y's first byte, or null when the row does not exist: the row-sized
// counterpart of the pixel accessors for codecs that fill whole rows.
inline std::uint8_t *row_pixels(rasterkit_image *image, std::int32_t y) {
    if (!pixel_in_bounds(image, 0, y)) return nullptr;
    return image->data + static_cast<std::size_t>(y) * row_stride(image);
}

inline const std::uint8_t *row_pixels(const rasterkit_image *image, std::int32_t y) {
    return row_pixels(const_cast<rasterkit_image *>(image), y);
}

// Makes `pixels` (malloc'd, 4 * width * height bytes in the record's layout)
// the record's buffer, as a resize followed by storing every pixel would.
// The size must satisfy size_fits(); the old buffer is freed.
void adopt_pixels(rasterkit_image *image, std::uint8_t *pixels, std::int32_t width, std::int32_t height);

}  // namespace rasterkit

#endif
