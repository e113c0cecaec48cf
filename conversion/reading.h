// Reads through rasterkit's readers, after the header passed the pixel limit.
#pragma once

#include <cstdint>
#include <string>

#include "rasterkit.h"
#include "rasterkit_convert.h"

namespace rkconv {

struct read_outcome {
    std::int32_t format = -1;  // the format read
    std::string error;         // empty on success; names the file
};

// On success `image` holds the pixels; on failure it is as it was.
read_outcome read_path(const std::string &path, const rkconv_options &options, rasterkit_image *image);
// `name` stands for the bytes in messages.
read_outcome read_memory(const std::uint8_t *bytes, std::size_t length, const std::string &name,
                         const rkconv_options &options, rasterkit_image *image);

}  // namespace rkconv
