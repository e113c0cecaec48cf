// Format and size of an image from its header alone: the signature rule and
// the BMP header verdict the readers use, libpng's png_read_info and
// libjpeg's jpeg_read_header. No pixel memory is taken.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "metadata.h"

namespace rkconv {

struct header_facts {
    std::int32_t format = -1;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string error;  // empty when the header is one the readers accept
};

// The error for a file whose first bytes name no format the readers know.
extern const char *const unknown_format_error;

// From a stream at its first byte; where it is left is unspecified. With
// `metadata`, the orientation and colour profile are read into it too (from
// the markers and chunks before the pixel data, bounded in size).
header_facts probe_stream(std::FILE *file, rkconv_metadata *metadata = nullptr);
header_facts probe_memory(const std::uint8_t *bytes, std::size_t length, rkconv_metadata *metadata = nullptr);
// A file that cannot be opened counts as unknown, with the system's reason.
header_facts probe_file(const char *path, rkconv_metadata *metadata = nullptr);

}  // namespace rkconv
