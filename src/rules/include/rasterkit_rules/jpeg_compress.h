// The compression every JPEG from rasterkit goes through: the library's own
// writer and the conversion library's encoder, which must give the same
// pixels for the same image and quality (the encoder codes them more
// tightly).
#ifndef RASTERKIT_JPEG_COMPRESS_H
#define RASTERKIT_JPEG_COMPRESS_H

#include <cstdio>

#include <jpeglib.h>

#include "rasterkit.h"

namespace rasterkit {

// How the quantised coefficients are coded and sampled; the defaults are the
// library's own writer's. None changes the quantisation.
struct jpeg_coding {
    bool optimize = false;     // Huffman tables built for the image, in a second pass
    bool progressive = false;  // libjpeg's simple progression
    bool full_chroma = false;  // 4:4:4 instead of libjpeg's 4:2:0
};

// Compresses `image` (with pixels) at `quality` into a compressor that has
// its error manager and destination; an ICC profile, when given, goes in as
// APP2 segments after the headers. libjpeg's errors leave through its
// error_exit. The compressor is finished, not destroyed.
void compress_rgba(jpeg_compress_struct *cinfo, const rasterkit_image *image, int quality,
                   const jpeg_coding &coding = {}, const JOCTET *icc_profile = nullptr, unsigned int icc_length = 0);

}  // namespace rasterkit

#endif
