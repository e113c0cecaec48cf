// PNG written by the library itself: the rows filtered, the whole filtered
// image compressed by libdeflate in one call, then the chunks (IHDR, iCCP
// with the image's profile or else sRGB, IDAT, IEND). RGB when every pixel
// is opaque, RGBA otherwise. The peak beside the image is the filtered
// image and its compressed form.
#pragma once

namespace rkconv {

// Chosen by measurement: libdeflate's level 2 is faster and smaller than
// zlib's level 3 (the writer it replaced) on every photograph of
// bench/png.sh; its level 1 is faster still but larger on some.
constexpr int default_png_compression = 2;

}  // namespace rkconv
