// One file read with the pixel limit, transformed in order and written.
#pragma once

#include <string>

#include "rasterkit_convert.h"

namespace rkconv {

// Where a conversion reads from or writes to: a path, or a descriptor when
// the path is null.
struct endpoint {
    const char *path;
    int fd;
};

struct conversion_result {
    std::string error;    // empty on success, else the line naming the file at fault
    std::string warning;  // what a success has to say, if anything
};
conversion_result convert(const endpoint &input, const endpoint &output, const rkconv_options &options);

// Applies one transform; false when it is unknown or ran out of memory.
bool apply_transform(std::int32_t transform, rasterkit_image *image);

}  // namespace rkconv
