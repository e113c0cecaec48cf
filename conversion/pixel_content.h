// What a record's pixels hold that lets work be left out: whether any is not
// opaque (PNG as RGBA, filtering premultiplied) and whether all are grey
// (filtering one channel of four).
#pragma once

#include "rasterkit.h"

namespace rkconv {

enum class pixel_content { grey_opaque, opaque, transparent };

// Scans a block of pixels at a time without branches, so the scan
// vectorises; stops after the first block with a pixel that is not opaque.
pixel_content content_of(const rasterkit_image *image);

}  // namespace rkconv
