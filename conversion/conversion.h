// One file read with the pixel limit, transformed in order and written.
#pragma once

#include <cstdint>

#include "rasterkit_convert.h"
#include "sink.h"
#include "status.h"

namespace rkconv {

// Where a conversion reads from or writes to: a path, or a descriptor when
// the path is null; an input may be bytes in memory instead, an output a
// buffer that receives the encoded file.
struct endpoint {
    const char *path = nullptr;
    int fd = -1;
    const std::uint8_t *bytes = nullptr;  // input only, when not null
    std::size_t length = 0;
    growing_block *encoded = nullptr;  // output only, when not null
};

// What a conversion wrote: the format and the size of the image.
struct written_image {
    std::int32_t format = -1;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

status convert(const endpoint &input, const endpoint &output, const rkconv_options &options, warnings &said,
               written_image *written = nullptr);

// The options' geometry, then their transforms, on an image in memory.
status reshape(rasterkit_image *image, const rkconv_options &options);

// Applies one transform; false when it is unknown or ran out of memory.
bool apply_transform(std::int32_t transform, rasterkit_image *image);

}  // namespace rkconv
