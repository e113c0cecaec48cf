// The eight EXIF orientations as rasterkit's mirrors and transpose.
#pragma once

#include <cstdint>

#include "rasterkit.h"

namespace rkconv {

// Turns the stored pixels of an image whose EXIF orientation is
// `orientation` (1 to 8) into the upright image a viewer shows; false when a
// transpose ran out of memory.
bool orient_upright(std::int32_t orientation, rasterkit_image *image);

}  // namespace rkconv
