// Pixels from an embedded profile's colours to sRGB, through Little CMS.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rasterkit.h"

namespace rkconv {

// Converts the image's RGB samples in place, alpha untouched, with the
// perceptual intent; empty on success, else why the profile cannot be used.
std::string convert_to_srgb(rasterkit_image *image, const std::vector<std::uint8_t> &profile);

}  // namespace rkconv
