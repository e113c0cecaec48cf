// The compression every JPEG from rasterkit goes through: the library's own
// writer and the conversion library's encoder, which must give the same
// pixels for the same image and quality (the encoder codes them more
// tightly).
#ifndef RASTERKIT_JPEG_COMPRESS_H
#define RASTERKIT_JPEG_COMPRESS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "rasterkit.h"

namespace rasterkit {

// How the quantised coefficients are coded and sampled; the defaults are the
// library's own writer's. None changes the quantisation.
struct jpeg_coding {
    bool progressive = false;  // libjpeg's simple progression, with tables built for the image
    bool full_chroma = false;  // 4:4:4 instead of libjpeg's 4:2:0
};

// Rows of RGBA pixels handed to libjpeg in order, a row group at a time.
class rgba_row_source {
public:
    // Points `rows` at the next `count` rows; false when they cannot be had.
    virtual bool next(JSAMPROW *rows, JDIMENSION count) = 0;

protected:
    ~rgba_row_source() = default;
};

// Compresses width x height pixels from `source` at `quality` into a
// compressor that has its error manager and destination; an ICC profile,
// when given, goes in as APP2 segments after the headers. libjpeg's errors
// leave through its error_exit. The compressor is finished, or aborted when
// the source fails (false); it is not destroyed.
bool compress_rows(jpeg_compress_struct *cinfo, std::int32_t width, std::int32_t height, rgba_row_source &source,
                   int quality, const jpeg_coding &coding = {}, const JOCTET *icc_profile = nullptr,
                   unsigned int icc_length = 0);

// The rows of an image that has pixels.
class record_rows final : public rgba_row_source {
public:
    explicit record_rows(const rasterkit_image *image);
    bool next(JSAMPROW *rows, JDIMENSION count) override;

private:
    const rasterkit_image *image_;
    std::size_t stride_;
    JDIMENSION next_row_ = 0;
};

// compress_rows over the rows of `image`, which has pixels.
void compress_rgba(jpeg_compress_struct *cinfo, const rasterkit_image *image, int quality,
                   const jpeg_coding &coding = {}, const JOCTET *icc_profile = nullptr, unsigned int icc_length = 0);

}  // namespace rasterkit

#endif
