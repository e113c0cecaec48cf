// What the PNG file and PNG memory codecs share: the cleared libpng
// descriptor and the decode that turns a begun read into the caller's image.
#ifndef RASTERKIT_PNG_DESCRIPTOR_H
#define RASTERKIT_PNG_DESCRIPTOR_H

#include <png.h>

#include "rasterkit.h"

namespace rasterkit {

// A descriptor with every field zero but the version.
png_image cleared_descriptor();

// A descriptor for writing `image` as 8-bit RGBA.
png_image write_descriptor(const rasterkit_image *image);

enum class png_decode_outcome {
    stored,         // the image now holds the decoded pixels
    no_buffer,      // the decode buffer could not be allocated; image unchanged
    not_decoded,    // libpng failed or the image cannot hold the size; image unchanged
};

// Finishes a read begun on `descriptor` and stores the RGBA result in
// `image`. The descriptor is released by the caller.
png_decode_outcome finish_read_into(png_image &descriptor, rasterkit_image *image);

}  // namespace rasterkit

#endif
