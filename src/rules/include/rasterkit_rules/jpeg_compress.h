// The compression every JPEG from rasterkit goes through: the library's own
// writer and the conversion library's encoder, which must give the same
// bytes for the same pixels and quality.
#ifndef RASTERKIT_JPEG_COMPRESS_H
#define RASTERKIT_JPEG_COMPRESS_H

#include <cstdio>

#include <jpeglib.h>

#include "rasterkit.h"

namespace rasterkit {

// Compresses `image` (with pixels) at `quality` into a compressor that has
// its error manager and destination; an ICC profile, when given, goes in as
// APP2 segments after the headers. libjpeg's errors leave through its
// error_exit. The compressor is finished, not destroyed.
void compress_rgba(jpeg_compress_struct *cinfo, const rasterkit_image *image, int quality,
                   const JOCTET *icc_profile = nullptr, unsigned int icc_length = 0);

}  // namespace rasterkit

#endif
