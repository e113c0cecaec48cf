#include "rasterkit_rules/jpeg_compress.h"

#include <algorithm>


namespace rasterkit {
namespace {

constexpr int four_components = 4;
constexpr JDIMENSION rows_per_write = 16;  // the tallest row group libjpeg compresses at once

}  // namespace

bool compress_rows(jpeg_compress_struct *cinfo, std::int32_t width, std::int32_t height, rgba_row_source &source,
                   int quality, const jpeg_coding &coding, const JOCTET *icc_profile, unsigned int icc_length) {
    cinfo->image_width = static_cast<JDIMENSION>(width);
    cinfo->image_height = static_cast<JDIMENSION>(height);
    // The record's rows go to libjpeg as they lie; libjpeg drops alpha and
    // converts exactly as it does from three-sample RGB rows.
    cinfo->input_components = four_components;
    cinfo->in_color_space = JCS_EXT_RGBA;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, quality, TRUE);
    if (coding.progressive) jpeg_simple_progression(cinfo);
    if (coding.full_chroma)
        for (int c = 0; c < cinfo->num_components; ++c) cinfo->comp_info[c].h_samp_factor = cinfo->comp_info[c].v_samp_factor = 1;
    jpeg_start_compress(cinfo, TRUE);
    if (icc_profile != nullptr && icc_length > 0) jpeg_write_icc_profile(cinfo, icc_profile, icc_length);

    // A whole row group per call saves libjpeg a round of buffering per line.
    JSAMPROW rows[rows_per_write];
    while (cinfo->next_scanline < cinfo->image_height) {
        const JDIMENSION count = std::min<JDIMENSION>(rows_per_write, cinfo->image_height - cinfo->next_scanline);
        if (!source.next(rows, count)) {
            jpeg_abort_compress(cinfo);
            return false;
        }
        jpeg_write_scanlines(cinfo, rows, count);
    }
    jpeg_finish_compress(cinfo);
    return true;
}

record_rows::record_rows(const rasterkit_image *image)
    : image_(image), stride_(std::size_t{four_components} * static_cast<std::size_t>(image->width)) {}

bool record_rows::next(JSAMPROW *rows, JDIMENSION count) {
    for (JSAMPROW *row = rows; row != rows + count; ++row) *row = image_->data + std::size_t{next_row_++} * stride_;
    return true;
}

void compress_rgba(jpeg_compress_struct *cinfo, const rasterkit_image *image, int quality,
                   const jpeg_coding &coding, const JOCTET *icc_profile, unsigned int icc_length) {
    record_rows rows(image);
    compress_rows(cinfo, image->width, image->height, rows, quality, coding, icc_profile, icc_length);
}

}  // namespace rasterkit
