// The cleared libpng descriptor and the shared decode step.
#include "png/png_descriptor.h"

#include <cstdlib>
#include <cstring>

#include "image/image_model.h"

namespace rasterkit {

png_image cleared_descriptor() {
    png_image descriptor;
    std::memset(&descriptor, 0, sizeof descriptor);
    descriptor.version = PNG_IMAGE_VERSION;
    return descriptor;
}

png_image write_descriptor(const rasterkit_image *image) {
    png_image descriptor = cleared_descriptor();
    descriptor.width = static_cast<png_uint_32>(image->width);
    descriptor.height = static_cast<png_uint_32>(image->height);
    descriptor.format = PNG_FORMAT_RGBA;
    return descriptor;
}

png_decode_outcome finish_read_into(png_image &descriptor, rasterkit_image *image) {
    descriptor.format = PNG_FORMAT_RGBA;
    // A size the record cannot hold would be refused by the resize after
    // decoding; refusing first spares the decode and its memory.
    if (!size_fits(descriptor.width, descriptor.height)) return png_decode_outcome::not_decoded;
    const auto width = static_cast<std::int32_t>(descriptor.width);
    const auto height = static_cast<std::int32_t>(descriptor.height);

    // The decode buffer has the record's layout, so it becomes the record's
    // buffer instead of being copied pixel by pixel.
    auto *pixels = static_cast<std::uint8_t *>(std::malloc(buffer_bytes(width, height)));
    if (pixels == nullptr) return png_decode_outcome::no_buffer;
    if (png_image_finish_read(&descriptor, nullptr, pixels, 0, nullptr) == 0) {
        std::free(pixels);
        return png_decode_outcome::not_decoded;
    }
    adopt_pixels(image, pixels, width, height);
    return png_decode_outcome::stored;
}

}  // namespace rasterkit
