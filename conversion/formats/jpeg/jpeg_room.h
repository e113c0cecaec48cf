// The JPEG room: every JPEG libjpeg-turbo decodes (whatever marker follows
// the start of image), CMYK and YCCK files turned into RGB, the encoder on
// libjpeg's full interface, and the completeness check of a written file.
#pragma once

#include <memory>

#include "format_room.h"

namespace rkconv {

// No real file has this many scans; hostile progressive files use thousands
// of them to make every scan a pass over the whole image.
constexpr int max_jpeg_scans = 1000;

std::unique_ptr<decoder> open_jpeg_decoder(byte_source &source);
status encode_jpeg(const rasterkit_image *image, const encode_settings &settings, byte_sink &sink, warnings &said);
status encode_jpeg_rows(std::int32_t width, std::int32_t height, rasterkit::rgba_row_source &rows,
                        const encode_settings &settings, byte_sink &sink, warnings &said);
// A JPEG is whole when it ends with its end-of-image marker.
bool jpeg_is_complete(const read_at &read, std::uint64_t size);

// CMYK samples (inverted as Adobe's applications store them when
// `inverted`) to RGB in place with opaque alpha: through Little CMS with
// `profile` when it is a CMYK profile it can use, else with the plain
// formula that ImageMagick and Pillow use. False when the profile was not
// used.
bool cmyk_to_rgb(std::uint8_t *pixels, std::size_t count, bool inverted, const std::vector<std::uint8_t> &profile);

}  // namespace rkconv
