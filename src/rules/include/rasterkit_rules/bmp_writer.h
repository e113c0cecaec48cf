// The 24-bit bottom-up BMP file the library writes, through any byte
// writer: the library's own writer puts it on a stdio stream, the conversion
// library's encoder on its sink, so both write the same bytes.
#ifndef RASTERKIT_RULES_BMP_WRITER_H
#define RASTERKIT_RULES_BMP_WRITER_H

#include <cstddef>

#include "rasterkit.h"

namespace rasterkit {

// Takes `count` bytes; false stops the writing.
using bmp_put = bool (*)(void *context, const void *bytes, std::size_t count);

// Writes `image` (it has pixels): the header, then the rows bottom first, a
// batch of rows per put. False when a put failed or the batch buffer could
// not be had.
bool write_bmp(const rasterkit_image *image, bmp_put put, void *context);

}  // namespace rasterkit

#endif
