#include "jpeg_encoder.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

#include "jpeg_errors.h"

namespace rkconv {
namespace {

constexpr int rgba_components = 4;
constexpr JDIMENSION rows_per_write = 16;  // the tallest row group libjpeg compresses at once
constexpr std::size_t output_buffer_bytes = std::size_t{1} << 16;

// What libjpeg changes while it works lives outside the frame that calls
// setjmp, so that it is still valid when control comes back by longjmp.
struct jpeg_encode_context {
    jpeg_compress_struct cinfo;
    jpeg_error_trap errors;
    jpeg_destination_mgr destination;
    byte_sink *sink;
    JOCTET buffer[output_buffer_bytes];
};

jpeg_encode_context *context_of(j_compress_ptr cinfo) {
    return static_cast<jpeg_encode_context *>(cinfo->client_data);
}

void start_destination(j_compress_ptr cinfo) {
    cinfo->dest->next_output_byte = context_of(cinfo)->buffer;
    cinfo->dest->free_in_buffer = output_buffer_bytes;
}

boolean empty_destination(j_compress_ptr cinfo) {
    jpeg_encode_context *context = context_of(cinfo);
    if (!context->sink->write(context->buffer, output_buffer_bytes)) ERREXIT(cinfo, JERR_FILE_WRITE);
    start_destination(cinfo);
    return TRUE;
}

void finish_destination(j_compress_ptr cinfo) {
    jpeg_encode_context *context = context_of(cinfo);
    const std::size_t used = output_buffer_bytes - cinfo->dest->free_in_buffer;
    if (!context->sink->write(context->buffer, used) || !context->sink->flush()) ERREXIT(cinfo, JERR_FILE_WRITE);
}

bool write_jpeg(jpeg_encode_context *context, const rasterkit_image *image, const jpeg_settings &settings) {
    jpeg_compress_struct *cinfo = &context->cinfo;
    cinfo->err = install_error_trap(context->errors);
    if (setjmp(context->errors.resume)) {  // NOLINT(cert-err52-cpp): libjpeg's fatal errors land here
        jpeg_destroy_compress(cinfo);
        return false;
    }
    jpeg_create_compress(cinfo);
    cinfo->client_data = context;
    context->destination.init_destination = start_destination;
    context->destination.empty_output_buffer = empty_destination;
    context->destination.term_destination = finish_destination;
    cinfo->dest = &context->destination;
    cinfo->image_width = static_cast<JDIMENSION>(image->width);
    cinfo->image_height = static_cast<JDIMENSION>(image->height);
    // As rasterkit's writer: the record's rows as they lie, alpha dropped by libjpeg.
    cinfo->input_components = rgba_components;
    cinfo->in_color_space = JCS_EXT_RGBA;
    jpeg_set_defaults(cinfo);
    jpeg_set_quality(cinfo, settings.quality, TRUE);
    jpeg_start_compress(cinfo, TRUE);
    if (settings.icc_profile != nullptr && !settings.icc_profile->empty())
        jpeg_write_icc_profile(cinfo, settings.icc_profile->data(),
                               static_cast<unsigned int>(settings.icc_profile->size()));

    const std::size_t stride = static_cast<std::size_t>(image->width) * rgba_components;
    JSAMPROW rows[rows_per_write];
    while (cinfo->next_scanline < cinfo->image_height) {
        const JDIMENSION count = std::min<JDIMENSION>(rows_per_write, cinfo->image_height - cinfo->next_scanline);
        for (JDIMENSION i = 0; i < count; ++i) rows[i] = image->data + std::size_t{cinfo->next_scanline + i} * stride;
        jpeg_write_scanlines(cinfo, rows, count);
    }
    jpeg_finish_compress(cinfo);
    jpeg_destroy_compress(cinfo);
    return true;
}

}  // namespace

std::string encode_jpeg(const rasterkit_image *image, const jpeg_settings &settings, byte_sink &sink) {
    auto context = std::make_unique<jpeg_encode_context>();
    context->sink = &sink;
    context->errors.sink = &sink;
    if (write_jpeg(context.get(), image, settings)) return {};
    return context->errors.text;
}

}  // namespace rkconv
