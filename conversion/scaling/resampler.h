// Separable resampling in two passes, horizontal then vertical, with the
// kernel's window widened by the reduction so that nothing aliases. Pixel
// centres, the window clamped to the image and the weights renormalised
// follow Pillow's convention, so results can be checked against it. The
// 8-bit path works in fixed point with 22 fraction bits; images with a pixel
// that is not opaque are filtered premultiplied, so no colour bleeds from
// transparent pixels. The linear-light path filters in floating point.
#pragma once

#include <cstdint>

#include "rasterkit.h"
#include "rasterkit_rules/jpeg_compress.h"
#include "scaling/kernels.h"
#include "status.h"

namespace rkconv {

struct resample_request {
    std::int32_t width = 0;
    std::int32_t height = 0;
    const resampling_kernel *kernel = nullptr;
    bool linear_light = false;
};

// Makes `image` width x height; its buffer is replaced.
status resample(rasterkit_image *image, const resample_request &request);

// The same resize of an opaque in_width x in_height image whose rows come
// from `rows` as they are decoded, so that the horizontal pass runs while
// the decoder works and no decoded image is kept: `image` (its buffer
// replaced) receives the result. A bad-argument request is refused as by
// resample(); rows that stop coming fail it. Rows known to be `grey`
// (opaque, each pixel's three colour samples equal) are resized as one
// channel, as resample() does a grey image.
status resample_rows(rasterkit::rgba_row_source &rows, std::int32_t in_width, std::int32_t in_height, bool grey,
                     const resample_request &request, rasterkit_image *image);

// Averages each factor x factor block into one pixel (the last blocks of a
// row or column average what they have): a box reduction ahead of the
// kernel for large reductions.
status box_reduce(rasterkit_image *image, std::int32_t factor);

}  // namespace rkconv
