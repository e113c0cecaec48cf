// JPEG through libjpeg's full interface, with the calls and defaults of
// rasterkit's writer, so that the same image and quality decode to the same
// pixels, with Huffman tables built for the image (and, on request,
// progressive or with full chroma). Errors come back as a status; the
// process is never ended.
//
// A sequential file is compressed with libjpeg's standard tables into
// memory and then coded again with tables built for its symbols: the same
// bytes as libjpeg's optimize_coding, without the buffer of every
// coefficient of the image that libjpeg keeps for it. Progressive files
// need that buffer anyway, and libjpeg builds their tables itself.
#include "formats/jpeg/jpeg_room.h"

#include <cerrno>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
#include <jerror.h>

#include "rasterkit_rules/jpeg_compress.h"
#include "formats/jpeg/huffman_recoding.h"
#include "formats/jpeg/jpeg_errors.h"

namespace rkconv {
namespace {

constexpr std::size_t output_buffer_bytes = std::size_t{1} << 16;
constexpr std::size_t first_pass_room = std::size_t{2} << 20;

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

// False on libjpeg's error or when the rows stop coming.
bool write_jpeg(jpeg_encode_context *context, std::int32_t width, std::int32_t height,
                rasterkit::rgba_row_source &rows, const encode_settings &settings) {
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
    // rasterkit's writer's own compression, so the pixels are its pixels.
    const std::vector<std::uint8_t> *profile = settings.icc_profile;
    const bool has_profile = profile != nullptr && !profile->empty();
    const rasterkit::jpeg_coding coding{settings.progressive, settings.full_chroma};
    const bool whole = rasterkit::compress_rows(cinfo, width, height, rows, settings.quality, coding,
                                                has_profile ? profile->data() : nullptr,
                                                has_profile ? static_cast<unsigned int>(profile->size()) : 0);
    jpeg_destroy_compress(cinfo);
    return whole;
}

}  // namespace

status encode_jpeg_rows(std::int32_t width, std::int32_t height, rasterkit::rgba_row_source &rows,
                        const encode_settings &settings, byte_sink &sink, warnings &) {
    // The first pass's file is scratch, filled at once: huge pages spare
    // the faults of a page at a time.
    growing_block standard_tables;
    if (!settings.progressive && !standard_tables.reserve_huge_paged(first_pass_room)) return out_of_memory();
    byte_sink memory(standard_tables);
    auto context = std::make_unique<jpeg_encode_context>();
    context->sink = settings.progressive ? &sink : &memory;
    context->errors.sink = context->sink;
    if (!write_jpeg(context.get(), width, height, rows, settings)) {
        if (context->sink->failure_number() == ENOMEM) return out_of_memory();
        if (context->sink->failure_number() != 0) return system_failure(context->sink->failure_number(), "");
        if (context->errors.text[0] == '\0') return failure(failure_kind::input_output, "the pixels stopped coming");
        return failure(failure_kind::input_output, context->errors.text);
    }
    if (settings.progressive) return success();
    switch (write_with_image_tables(standard_tables, sink)) {
        case recoding::written:
            return success();
        case recoding::out_of_memory:
            return out_of_memory();
        case recoding::sink_failed:
            return system_failure(sink.failure_number(), "");
        case recoding::unsupported:
            break;
    }
    return failure(failure_kind::input_output, "the JPEG encoder wrote a file it cannot read back");
}

status encode_jpeg(const rasterkit_image *image, const encode_settings &settings, byte_sink &sink, warnings &said) {
    rasterkit::record_rows rows(image);
    return encode_jpeg_rows(image->width, image->height, rows, settings, sink, said);
}

}  // namespace rkconv
