#include "rasterkit_rules/jpeg_compress.h"

#include <algorithm>


namespace rasterkit {
namespace {

constexpr int four_components = 4;
constexpr JDIMENSION rows_per_write = 16;  // the tallest row group libjpeg compresses at once

}  // namespace

void compress_rgba(jpeg_compress_struct *cinfo, const rasterkit_image *image, int quality,
                   const jpeg_coding &coding, const JOCTET *icc_profile, unsigned int icc_length) {
    cinfo->image_width = static_cast<JDIMENSION>(image->width);
    cinfo->image_height = static_cast<JDIMENSION>(image->height);
    // The record's rows go to libjpeg as they lie; libjpeg drops alpha and
    // converts exactly as it does from three-sample RGB rows.
    cinfo->input_components = four_components;
    cinfo->in_color_space = JCS_EXT_RGBA;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    cinfo->optimize_coding = coding.optimize ? TRUE : FALSE;
    if (coding.progressive) jpeg_simple_progression(cinfo);
    if (coding.full_chroma)
        for (int c = 0; c < cinfo->num_components; ++c) cinfo->comp_info[c].h_samp_factor = cinfo->comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(cinfo, TRUE);
    if (icc_profile != nullptr && icc_length > 0) jpeg_write_icc_profile(cinfo, icc_profile, icc_length);

    // A whole row group per call saves libjpeg a round of buffering per line.
    const std::size_t stride = std::size_t{four_components} * static_cast<std::size_t>(image->width);
    JSAMPROW rows[rows_per_write];
    while (cinfo->next_scanline < cinfo->image_height) {
        const JDIMENSION count = std::min<JDIMENSION>(rows_per_write, cinfo->image_height - cinfo->next_scanline);
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = image->data + std::size_t{cinfo->next_scanline + i} * stride;
        jpeg_write_scanlines(cinfo, rows, count);
    }
    jpeg_finish_compress(cinfo);
}

}  // namespace rasterkit
