// Writes an image as a file (safely), as bytes, or to a descriptor, through
// the encoder of its format's room.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "format_room.h"
#include "metadata.h"
#include "rasterkit.h"
#include "rasterkit_convert.h"
#include "status.h"

namespace rkconv {

// How one image is to be written.
struct write_plan {
    std::int32_t format = 0;  // bmp, png or jpeg
    encode_settings settings;
};

// The plan for writing to `path` (null for bytes or a descriptor, where the
// name cannot decide) with these options, the input having been
// `input_format` (-1 when not known yet) with `metadata` (null: none). A bad
// setting, or one that does not apply to the output's format, is a
// bad-argument failure. `said` hears where an unknown extension made it PNG
// and why a profile is dropped. A profile is carried when the options keep
// profiles, the output is PNG or JPEG, and it is a well-formed RGB profile.
status plan_write(const rkconv_options &options, const char *path, std::int32_t input_format,
                  const rkconv_metadata *metadata, write_plan &plan, warnings &said);

// What goes to the encoder: an image, or rows as a decoder gives them
// (for a format whose room encodes rows).
struct pixels_to_write {
    const rasterkit_image *image = nullptr;
    row_stream *rows = nullptr;
    std::int32_t width = 0, height = 0;

    static pixels_to_write of(const rasterkit_image *image) { return {image, nullptr, image->width, image->height}; }
};

// When rows stop coming, the failure is the decoder's, about the input.
status write_to_file(const std::string &path, const pixels_to_write &pixels, const write_plan &plan, warnings &said);
status write_to_bytes(const pixels_to_write &pixels, const write_plan &plan, growing_block &bytes, warnings &said);
status write_to_descriptor(int fd, const pixels_to_write &pixels, const write_plan &plan, warnings &said);

}  // namespace rkconv
