// Row conversion between the record's RGBA pixels and the BGR triples of a
// 24-bit BMP row: the two loops that touch every byte of a BMP file.
#ifndef RASTERKIT_BGR_ROWS_H
#define RASTERKIT_BGR_ROWS_H

#include <cstddef>
#include <cstdint>

namespace rasterkit {

// count pixels of `bgr` (3 bytes each) to `rgba` with alpha 255.
void bgr_to_rgba(const std::uint8_t *bgr, std::uint8_t *rgba, std::size_t count);

// count pixels of `rgba` to `bgr`, dropping alpha; writes exactly 3 * count bytes.
void rgba_to_bgr(const std::uint8_t *rgba, std::uint8_t *bgr, std::size_t count);

}  // namespace rasterkit

#endif
