// Reads through rasterkit's readers, after the header passed the pixel limit.
#pragma once

#include <cstdint>
#include <string>

#include "rasterkit.h"
#include "metadata.h"
#include "rasterkit_convert.h"

namespace rkconv {

struct read_outcome {
    std::int32_t format = -1;  // the format read
    std::string error;         // empty on success; names the file
};

// On success `image` holds the pixels, turned upright when the options say
// so, and `metadata` what the file said; on failure both are as they were.
read_outcome read_path(const std::string &path, const rkconv_options &options, rasterkit_image *image,
                       rkconv_metadata &metadata);
// `name` stands for the bytes in messages.
read_outcome read_memory(const std::uint8_t *bytes, std::size_t length, const std::string &name,
                         const rkconv_options &options, rasterkit_image *image, rkconv_metadata &metadata);
// Reads the descriptor to its end first.
read_outcome read_descriptor(int fd, const std::string &name, const rkconv_options &options, rasterkit_image *image,
                             rkconv_metadata &metadata);

}  // namespace rkconv
