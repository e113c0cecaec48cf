// One file read with the pixel limit, transformed in order and written.
#pragma once

#include "rasterkit_convert.h"
#include "status.h"

namespace rkconv {

// Where a conversion reads from or writes to: a path, or a descriptor when
// the path is null.
struct endpoint {
    const char *path;
    int fd;
};

status convert(const endpoint &input, const endpoint &output, const rkconv_options &options, warnings &said);

// The options' geometry, then their transforms, on an image in memory.
status reshape(rasterkit_image *image, const rkconv_options &options);

// Applies one transform; false when it is unknown or ran out of memory.
bool apply_transform(std::int32_t transform, rasterkit_image *image);

}  // namespace rkconv
