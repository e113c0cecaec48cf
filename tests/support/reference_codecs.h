// The dependencies called directly, as references for the library's codecs.
#ifndef RASTERKIT_REFERENCE_CODECS_H
#define RASTERKIT_REFERENCE_CODECS_H

#include <cstdint>
#include <string>
#include <vector>

#include "rasterkit.h"

namespace testing_support {

struct Decoded {
    bool ok = false;
    bool too_large = false;  // declares more pixels than a record holds; not decoded
    std::int32_t width = 0;
    std::int32_t height = 0;
    int components = 0;
    std::vector<std::uint8_t> samples;
};

// libpng's simplified reader to 8-bit RGBA, from a file or from memory.
Decoded reference_png_file(const std::string &path);
Decoded reference_png_memory(const std::vector<std::uint8_t> &png);

// libjpeg with its default output colour space (rgba = false) or straight to
// RGBA (rgba = true, for three-component and greyscale files).
Decoded reference_jpeg_file(const std::string &path, bool rgba);

// The JPEG encoding of an image made the classic way: RGB rows, three
// components, JCS_RGB, baseline at the given quality.
std::vector<std::uint8_t> reference_jpeg_rgb_encoding(const rasterkit_image *image, int quality);

// A PNG of the given RGBA samples made by libpng's simplified writer.
std::vector<std::uint8_t> make_png(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t> &rgba);

}  // namespace testing_support

#endif
