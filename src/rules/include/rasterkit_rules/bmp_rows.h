// A BMP file's pixel rows and the record's RGBA rows: the decoding both the
// library's reader and the conversion library's BMP room use, and the
// conversion of a row to the BGR triples of a 24-bit file.
#ifndef RASTERKIT_RULES_BMP_ROWS_H
#define RASTERKIT_RULES_BMP_ROWS_H

#include <cstddef>
#include <cstdint>

#include "rasterkit_rules/bmp_header.h"

namespace rasterkit {

// count pixels of `bgr` (3 bytes each) to `rgba` with alpha 255.
void bgr_to_rgba(const std::uint8_t *bgr, std::uint8_t *rgba, std::size_t count);

// count pixels of `rgba` to `bgr`, dropping alpha; writes exactly 3 * count bytes.
void rgba_to_bgr(const std::uint8_t *rgba, std::uint8_t *bgr, std::size_t count);

// Row size in bytes, padded to whole 32-bit words; 64-bit so that absurd
// depths and widths cannot wrap.
std::uint64_t bmp_row_bytes(std::uint64_t width, std::uint64_t bits_per_pixel);

// 8, 24 and 32 bits per pixel are decoded; other depths read as transparent
// black.
bool bmp_depth_is_decoded(std::uint16_t bits_per_pixel);

// Where the decoded rows and columns go. The usual bottom-up file has its
// first stored row at the bottom; storing each row in its final place gives
// the same image as decoding in file order and mirroring afterwards.
struct bmp_row_placement {
    bool mirror_columns;
    bool rows_bottom_up;
};
bmp_row_placement bmp_placement(const rasterkit_bmpinfoheader &info_header);

// One stored row of a decoded depth to `width` RGBA pixels at `out`.
void decode_bmp_row(const std::uint8_t *row, std::uint16_t bits_per_pixel, std::uint8_t *out, std::int32_t width,
                    bool mirror_columns);

}  // namespace rasterkit

#endif
