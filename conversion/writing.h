// Writes an image as a file (safely), as bytes, or to a descriptor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rasterkit.h"
#include "rasterkit_convert.h"

namespace rkconv {

// How one image is to be written: a resolved format, or format_by_name to
// let rasterkit's writer pick by the file name (with its own warning where
// it falls back to PNG).
struct write_plan {
    std::int32_t format = 0;
    int quality = -1;  // JPEG only; -1 for rasterkit's choice
};

// The plan for writing to `path` (null for bytes or a descriptor, where the
// name cannot decide) with these options, the input having been
// `input_format`; empty `error` when the plan stands.
struct planned_write {
    write_plan plan;
    std::string error;
};
planned_write plan_write(const rkconv_options &options, const char *path, std::int32_t input_format);

// Empty on success, else why not, without the file's name.
std::string write_to_file(const std::string &path, const rasterkit_image *image, const write_plan &plan);
std::string write_to_bytes(const rasterkit_image *image, const write_plan &plan, std::vector<std::uint8_t> &bytes);
std::string write_to_descriptor(int fd, const rasterkit_image *image, const write_plan &plan);

}  // namespace rkconv
