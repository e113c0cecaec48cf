// The image record and its lifecycle: create, delete, resize, clear, copy.
// Every buffer a record owns is allocated and freed here.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "image/image_model.h"

namespace {

using rasterkit::buffer_bytes;

void make_empty(rasterkit_image *image) {
    image->width = 0;
    image->height = 0;
    image->data = nullptr;
}

// Copies in pieces: one huge memcpy switches to non-temporal stores, which
// fill freshly allocated pages markedly slower than ordinary ones do.
constexpr std::size_t copy_piece_bytes = std::size_t{1} << 16;

void copy_in_pieces(std::uint8_t *to, const std::uint8_t *from, std::size_t bytes) {
    for (std::size_t done = 0; done < bytes; done += copy_piece_bytes)
        std::memcpy(to + done, from + done, std::min(copy_piece_bytes, bytes - done));
}

void release_record(rasterkit_image *image) {
    std::free(image->data);
    std::free(image);
}

// Fills `fresh` (new_width x new_height) from the old buffer: the common
// top-left region row by row, zeros everywhere else.
void copy_common_region(const rasterkit_image *old_image, std::uint8_t *fresh, std::int32_t new_width,
                        std::int32_t new_height) {
    const std::size_t fresh_stride = rasterkit::pixel_bytes(new_width);
    const std::size_t old_stride = rasterkit::row_stride(old_image);
    const std::int32_t kept_rows = std::min(old_image->height, new_height);
    const std::size_t kept_bytes = rasterkit::pixel_bytes(std::min(old_image->width, new_width));
    for (std::int32_t y = 0; y < kept_rows; ++y) {
        std::uint8_t *row = fresh + static_cast<std::size_t>(y) * fresh_stride;
        std::memcpy(row, old_image->data + static_cast<std::size_t>(y) * old_stride, kept_bytes);
        std::memset(row + kept_bytes, 0, fresh_stride - kept_bytes);
    }
    const std::size_t kept_total = static_cast<std::size_t>(kept_rows) * fresh_stride;
    std::memset(fresh + kept_total, 0, static_cast<std::size_t>(new_height) * fresh_stride - kept_total);
}

}  // namespace

namespace rasterkit {

void adopt_pixels(rasterkit_image *image, std::uint8_t *pixels, std::int32_t width, std::int32_t height) {
    std::free(image->data);
    image->data = pixels;
    image->width = width;
    image->height = height;
}

}  // namespace rasterkit

extern "C" {

RASTERKIT_API int32_t rasterkit_image_new(rasterkit_image **image, int32_t width, int32_t height) {
    if (image == nullptr) return -1;
    rasterkit_image_delete(image);

    *image = static_cast<rasterkit_image *>(std::malloc(sizeof(rasterkit_image)));
    if (*image == nullptr) return -1;
    make_empty(*image);

    if (!rasterkit::size_is_positive(width, height)) return 0;
    if (!rasterkit::size_fits(width, height)) return -1;
    auto *pixels = static_cast<std::uint8_t *>(std::calloc(buffer_bytes(width, height), 1));
    if (pixels == nullptr) return -1;
    rasterkit::adopt_pixels(*image, pixels, width, height);
    return 0;
}

RASTERKIT_API int32_t rasterkit_image_delete(rasterkit_image **image) {
    if (image == nullptr || *image == nullptr) return 0;
    release_record(*image);
    *image = nullptr;
    return 0;
}

RASTERKIT_API int32_t rasterkit_image_resize(rasterkit_image *image, int32_t width, int32_t height) {
    if (image == nullptr) return -1;
    if (!rasterkit::size_is_positive(width, height)) {
        std::free(image->data);
        make_empty(image);
        return 0;
    }
    if (!rasterkit::size_fits(width, height)) return -1;

    std::uint8_t *fresh = nullptr;
    if (image->data == nullptr) {
        fresh = static_cast<std::uint8_t *>(std::calloc(buffer_bytes(width, height), 1));
    } else {
        fresh = static_cast<std::uint8_t *>(std::malloc(buffer_bytes(width, height)));
        if (fresh != nullptr) copy_common_region(image, fresh, width, height);
    }
    if (fresh == nullptr) return -1;
    rasterkit::adopt_pixels(image, fresh, width, height);
    return 0;
}

RASTERKIT_API void rasterkit_image_clear(rasterkit_image *image) {
    if (image == nullptr || image->data == nullptr) return;
    std::memset(image->data, 0, buffer_bytes(image->width, image->height));
}

RASTERKIT_API int32_t rasterkit_image_copy(rasterkit_image *destination, const rasterkit_image *source) {
    if (destination == nullptr || source == nullptr) return -1;
    if (!rasterkit::size_is_positive(source->width, source->height) || source->data == nullptr)
        return rasterkit_image_resize(destination, 0, 0);
    if (!rasterkit::size_fits(source->width, source->height)) return -1;

    // A resize would keep nothing that the copy does not overwrite, so the
    // new buffer is filled from the source directly.
    const std::size_t bytes = buffer_bytes(source->width, source->height);
    auto *fresh = static_cast<std::uint8_t *>(std::malloc(bytes));
    if (fresh == nullptr) return -1;
    copy_in_pieces(fresh, source->data, bytes);
    rasterkit::adopt_pixels(destination, fresh, source->width, source->height);
    return 0;
}

}  // extern "C"
