// PNG datastreams in the caller's memory: decode, measure, encode.
#include <climits>
#include <cstdint>
#include <cstdio>

#include "png/png_descriptor.h"

namespace {

constexpr std::int32_t png_signature_bytes = 8;

// Lengths beyond a 32-bit count cannot be reported; they read as "nothing".
std::int32_t as_length(png_alloc_size_t size) {
    return size > static_cast<png_alloc_size_t>(INT32_MAX) ? 0 : static_cast<std::int32_t>(size);
}

}  // namespace

extern "C" {

RASTERKIT_API int32_t rasterkit_pngbytebuffer_to_img(rasterkit_image *image, const uint8_t *bytes, int32_t length) {
    if (bytes == nullptr || length < png_signature_bytes || image == nullptr) return -1;

    png_image descriptor = rasterkit::cleared_descriptor();
    if (png_image_begin_read_from_memory(&descriptor, bytes, static_cast<png_size_t>(length)) == 0) {
        png_image_free(&descriptor);
        return 0;
    }
    const rasterkit::png_decode_outcome outcome = rasterkit::finish_read_into(descriptor, image);
    png_image_free(&descriptor);
    if (outcome == rasterkit::png_decode_outcome::no_buffer) {
        std::printf("rasterkit_pngbytebuffer_to_img:: imgbuffer failed to allocate.\n");
        return -1;
    }
    return 0;
}

RASTERKIT_API int32_t rasterkit_pngbytebufferlen(const rasterkit_image *image) {
    png_image descriptor = rasterkit::write_descriptor(image);
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&descriptor, nullptr, &size, 0, image->data, 0, nullptr);
    return as_length(size);
}

RASTERKIT_API int32_t rasterkit_pngbytebuffer_from_img(const rasterkit_image *image, uint8_t *buffer,
                                                       int32_t capacity, int32_t *length) {
    png_image descriptor = rasterkit::write_descriptor(image);
    // A negative capacity would read as an enormous buffer: treat it as none.
    const auto room = static_cast<png_alloc_size_t>(capacity < 0 ? 0 : capacity);
    png_alloc_size_t size = room;
    const int written = png_image_write_to_memory(&descriptor, buffer, &size, 0, image->data, 0, nullptr);
    // libpng reports the length needed when the buffer was too small, and
    // leaves the size alone when it refused the image outright.
    const bool size_is_meaningful = written != 0 || size > room;
    if (length != nullptr) *length = size_is_meaningful ? as_length(size) : 0;
    return 0;
}

}  // extern "C"

