// Writes an image as a file (safely), as bytes, or to a descriptor: PNG and
// JPEG through this library's encoders, BMP through rasterkit's writer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "metadata.h"
#include "rasterkit.h"
#include "rasterkit_convert.h"

namespace rkconv {

// How one image is to be written.
struct write_plan {
    std::int32_t format = 0;                                 // bmp, png or jpeg
    int quality = 100;                                       // JPEG
    int compression = 0;                                     // PNG, zlib level
    const std::vector<std::uint8_t> *icc_profile = nullptr;  // carried into PNG and JPEG
};

// The plan for writing to `path` (null for bytes or a descriptor, where the
// name cannot decide) with these options, the input having been
// `input_format` with `metadata` (null: none). `error` is empty when the plan
// stands; `warning` says where an unknown extension made it PNG, naming the
// file, and `profile_warning` why a profile is dropped. A profile is carried when the options keep profiles, the
// output is PNG or JPEG, and Little CMS reads it as an RGB profile.
struct planned_write {
    write_plan plan;
    std::string error;
    std::string warning;
    std::string profile_warning;
};
planned_write plan_write(const rkconv_options &options, const char *path, std::int32_t input_format,
                         const rkconv_metadata *metadata);

// Appends a sentence to a warning.
void add_warning(std::string &warning, const std::string &sentence);

// Empty on success, else why not, without the file's name; what the
// encoder has to say besides goes to `warning`.
std::string write_to_file(const std::string &path, const rasterkit_image *image, const write_plan &plan,
                          std::string &warning);
std::string write_to_bytes(const rasterkit_image *image, const write_plan &plan, std::vector<std::uint8_t> &bytes,
                           std::string &warning);
std::string write_to_descriptor(int fd, const rasterkit_image *image, const write_plan &plan, std::string &warning);

}  // namespace rkconv
