// PNG written by the library itself: the rows filtered, the whole filtered
// image compressed by libdeflate in one call, then the chunks (IHDR, iCCP
// with the image's profile or else sRGB, IDAT, IEND). RGB when every pixel
// is opaque, RGBA otherwise. The peak beside the image is the filtered
// image and its compressed form.
#pragma once

namespace rkconv {

// Chosen by measurement on the benchmark's photographs; see the README.
constexpr int default_png_compression = 1;

}  // namespace rkconv
