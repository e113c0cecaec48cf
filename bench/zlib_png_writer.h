// The conversion library's PNG writer before libdeflate, kept here only as
// the benchmark's reference: libpng's full interface, zlib at a level,
// every filter, RGB for opaque images.
#pragma once

#include "rasterkit.h"

// Writes `image` to `path`; false on any failure.
bool write_png_with_zlib(const char *path, const rasterkit_image *image, int level);
