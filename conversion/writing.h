// Writes an image as a file (safely), as bytes, or to a descriptor: PNG and
// JPEG through this library's encoders, BMP through rasterkit's writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rasterkit.h"
#include "rasterkit_convert.h"

namespace rkconv {

// How one image is to be written.
struct write_plan {
    std::int32_t format = 0;  // bmp, png or jpeg
    int quality = 100;        // JPEG
    int compression = 0;      // PNG, zlib level
};

// The plan for writing to `path` (null for bytes or a descriptor, where the
// name cannot decide) with these options, the input having been
// `input_format`. `error` is empty when the plan stands; `warning` says
// where an unknown extension made it PNG.
struct planned_write {
    write_plan plan;
    std::string error;
    std::string warning;
};
planned_write plan_write(const rkconv_options &options, const char *path, std::int32_t input_format);

// Empty on success, else why not, without the file's name.
std::string write_to_file(const std::string &path, const rasterkit_image *image, const write_plan &plan);
std::string write_to_bytes(const rasterkit_image *image, const write_plan &plan, std::vector<std::uint8_t> &bytes);
std::string write_to_descriptor(int fd, const rasterkit_image *image, const write_plan &plan);

}  // namespace rkconv
