// PNG's five row filters over the record's rows. Each row takes the filter
// whose bytes, read as signed, sum smallest in magnitude (the usual
// heuristic), with Up favoured a little.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rasterkit.h"

namespace rkconv {

enum class png_row_filters { none_only, adaptive };

// Bytes of one filtered row: the filter type, then the row's samples.
std::size_t filtered_row_bytes(std::int32_t width, int channels);

// The working space filter_image needs beside its output.
std::size_t filter_scratch_bytes(std::int32_t width);

// Filters every row of `image` into `out` (height * filtered_row_bytes
// bytes): as RGB when `channels` is 3, the fourth byte of each pixel left
// out, as RGBA when it is 4. `scratch` holds filter_scratch_bytes(width).
void filter_image(const rasterkit_image *image, int channels, png_row_filters filters, std::uint8_t *scratch,
                  std::uint8_t *out);

}  // namespace rkconv
