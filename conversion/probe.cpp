#include "probe.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "rasterkit_rules/bmp_header.h"
#include "rasterkit_rules/signature.h"
#include "stream.h"
#include "jpeg_errors.h"
#include "options.h"

namespace rkconv {

const char *const unknown_format_error = "not a readable BMP, PNG or JPEG file";

namespace {

// Where header bytes come from: a stream or a span of memory.
struct byte_source {
    std::FILE *file = nullptr;
    const std::uint8_t *bytes = nullptr;
    std::size_t length = 0;
    std::size_t position = 0;

    std::size_t read(void *into, std::size_t count) {
        if (file != nullptr) return std::fread(into, 1, count, file);
        const std::size_t taken = std::min(count, length - position);
        if (taken > 0) std::memcpy(into, bytes + position, taken);
        position += taken;
        return taken;
    }
    bool rewind() {
        if (file != nullptr) return std::fseek(file, 0, SEEK_SET) == 0;
        position = 0;
        return true;
    }
    // -1 when a stream's length cannot be told.
    std::int64_t total_length() {
        if (file == nullptr) return static_cast<std::int64_t>(length);
        if (std::fseek(file, 0, SEEK_END) != 0) return -1;
        const long end = std::ftell(file);
        return end < 0 ? -1 : end;
    }
};

header_facts refused(std::int32_t format, const std::string &why) {
    header_facts facts;
    facts.format = format;
    facts.error = std::string("cannot be read as ") + format_name(format) + (why.empty() ? "" : " (" + why + ")");
    return facts;
}

header_facts accepted(std::int32_t format, std::uint64_t width, std::uint64_t height) {
    // Sizes beyond 32 bits can reach no record; say so rather than wrap.
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) return refused(format, "no usable size");
    header_facts facts;
    facts.format = format;
    facts.width = static_cast<std::int32_t>(width);
    facts.height = static_cast<std::int32_t>(height);
    return facts;
}

// BMP ------------------------------------------------------------------

header_facts probe_bmp(byte_source &source) {
    const std::int64_t length = source.total_length();
    unsigned char head[rasterkit::bmp_header_bytes] = {};
    if (!source.rewind()) return refused(format_bmp, "cannot be re-read");
    source.read(head, sizeof head);
    rasterkit_bmpfileheader fh{};
    rasterkit_bmpinfoheader ih{};
    rasterkit::decode_bmp_headers(head, fh, ih);
    switch (rasterkit::judge_bmp_headers(fh, ih, length)) {
        case rasterkit::bmp_header_verdict::not_a_bitmap:
            return refused(format_bmp, "shorter than its header");
        case rasterkit::bmp_header_verdict::bad_colour_planes:
            return refused(format_bmp, "colour planes other than 1");
        case rasterkit::bmp_header_verdict::not_rgb:
            return refused(format_bmp, "compressed, not RGB");
        case rasterkit::bmp_header_verdict::readable:
            break;
    }
    return accepted(format_bmp, static_cast<std::uint64_t>(rasterkit::bmp_dimension(ih.width)),
                    static_cast<std::uint64_t>(rasterkit::bmp_dimension(ih.height)));
}

// PNG ------------------------------------------------------------------

// What libpng changes while it works lives outside the frame that calls
// setjmp, so that it is still valid when control comes back by longjmp.
struct png_probe_context {
    byte_source *source = nullptr;
    rkconv_metadata *metadata = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    char error[256] = {};
};

extern "C" void png_probe_error(png_structp png, png_const_charp text) {
    auto *context = static_cast<png_probe_context *>(png_get_error_ptr(png));
    std::snprintf(context->error, sizeof context->error, "%s", text);
    png_longjmp(png, 1);
}

extern "C" void png_probe_warning(png_structp, png_const_charp) {}

extern "C" void png_probe_read(png_structp png, png_bytep into, png_size_t count) {
    auto *context = static_cast<png_probe_context *>(png_get_io_ptr(png));
    if (context->source->read(into, count) != count) png_error(png, "Read Error");
}

void read_png_metadata(png_structp png, png_infop info, rkconv_metadata &metadata) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 profile_length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &profile_length) != 0 && profile != nullptr)
        adopt_icc(metadata, std::vector<std::uint8_t>(profile, profile + profile_length));
    png_bytep exif = nullptr;
    png_uint_32 exif_length = 0;
    if (png_get_eXIf_1(png, info, &exif_length, &exif) != 0 && exif != nullptr)
        metadata.orientation = exif_orientation(exif, exif_length);
}

bool read_png_header(png_probe_context *context, png_uint_32 *width, png_uint_32 *height) {
    if (setjmp(png_jmpbuf(context->png))) return false;  // NOLINT(cert-err52-cpp): libpng's errors land here
    png_set_read_fn(context->png, context, png_probe_read);
    // The same tolerance the readers' simplified interface sets up.
    png_set_benign_errors(context->png, 1);
    // Chunks past this size (a profile, an EXIF block) are skipped with a warning.
    png_set_chunk_malloc_max(context->png, max_icc_bytes);
    png_read_info(context->png, context->info);
    *width = png_get_image_width(context->png, context->info);
    *height = png_get_image_height(context->png, context->info);
    if (context->metadata != nullptr) read_png_metadata(context->png, context->info, *context->metadata);
    return true;
}

header_facts probe_png(byte_source &source, rkconv_metadata *metadata) {
    if (!source.rewind()) return refused(format_png, "cannot be re-read");
    png_probe_context context;
    context.source = &source;
    context.metadata = metadata;
    context.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, png_probe_error, png_probe_warning);
    if (context.png != nullptr) context.info = png_create_info_struct(context.png);
    if (context.info == nullptr) {
        png_destroy_read_struct(&context.png, nullptr, nullptr);
        return refused(format_png, "out of memory");
    }
    png_uint_32 width = 0;
    png_uint_32 height = 0;
    const bool read = read_png_header(&context, &width, &height);
    png_destroy_read_struct(&context.png, &context.info, nullptr);
    if (!read) return refused(format_png, context.error);
    return accepted(format_png, width, height);
}

// JPEG -----------------------------------------------------------------

struct jpeg_probe_context {
    jpeg_decompress_struct cinfo;
    jpeg_error_trap errors;
    rkconv_metadata *metadata;
};

constexpr unsigned char exif_marker_header[] = {'E', 'x', 'i', 'f', 0, 0};
constexpr unsigned int max_marker_bytes = 0xFFFF;

// The first APP1 segment that holds EXIF, and the ICC profile from the APP2
// segments, which libjpeg-turbo joins in their order.
void read_jpeg_metadata(j_decompress_ptr cinfo, rkconv_metadata &metadata) {
    for (jpeg_saved_marker_ptr marker = cinfo->marker_list; marker != nullptr; marker = marker->next) {
        if (marker->marker != JPEG_APP0 + 1 || marker->data_length < sizeof exif_marker_header ||
            std::memcmp(marker->data, exif_marker_header, sizeof exif_marker_header) != 0)
            continue;
        metadata.orientation = exif_orientation(marker->data, marker->data_length);
        break;
    }
    JOCTET *profile = nullptr;
    unsigned int profile_length = 0;
    if (jpeg_read_icc_profile(cinfo, &profile, &profile_length) && profile != nullptr &&
        profile_length <= max_icc_bytes)
        adopt_icc(metadata, std::vector<std::uint8_t>(profile, profile + profile_length));
    std::free(profile);
}

bool read_jpeg_header(jpeg_probe_context *context, byte_source *source, bool *header_ok) {
    jpeg_decompress_struct *cinfo = &context->cinfo;
    cinfo->err = install_error_trap(context->errors);
    if (setjmp(context->errors.resume)) {  // NOLINT(cert-err52-cpp): libjpeg's fatal errors land here
        jpeg_destroy_decompress(cinfo);
        return false;
    }
    jpeg_create_decompress(cinfo);
    if (source->file != nullptr)
        jpeg_stdio_src(cinfo, source->file);
    else
        jpeg_mem_src(cinfo, source->bytes, static_cast<unsigned long>(source->length));
    if (context->metadata != nullptr) {
        jpeg_save_markers(cinfo, JPEG_APP0 + 1, max_marker_bytes);
        jpeg_save_markers(cinfo, JPEG_APP0 + 2, max_marker_bytes);
    }
    *header_ok = jpeg_read_header(cinfo, TRUE) == JPEG_HEADER_OK;
    if (*header_ok && context->metadata != nullptr) read_jpeg_metadata(cinfo, *context->metadata);
    return true;
}

header_facts probe_jpeg(byte_source &source, rkconv_metadata *metadata) {
    if (!source.rewind()) return refused(format_jpeg, "cannot be re-read");
    auto context = std::make_unique<jpeg_probe_context>();
    context->metadata = metadata;
    bool header_ok = false;
    if (!read_jpeg_header(context.get(), &source, &header_ok)) return refused(format_jpeg, context->errors.text);
    const JDIMENSION width = context->cinfo.image_width;
    const JDIMENSION height = context->cinfo.image_height;
    jpeg_destroy_decompress(&context->cinfo);
    if (!header_ok) return refused(format_jpeg, "not a normal JPEG");
    return accepted(format_jpeg, width, height);
}

header_facts probe(byte_source &source, rkconv_metadata *metadata) {
    unsigned char signature[rasterkit::signature_bytes] = {};
    source.read(signature, sizeof signature);
    const std::int32_t format = rasterkit::format_of_signature(signature);
    switch (format) {
        case format_bmp:
            return probe_bmp(source);
        case format_png:
            return probe_png(source, metadata);
        case format_jpeg:
            return probe_jpeg(source, metadata);
        default: {
            header_facts facts;
            facts.error = unknown_format_error;
            return facts;
        }
    }
}

}  // namespace

header_facts probe_stream(std::FILE *file, rkconv_metadata *metadata) {
    byte_source source;
    source.file = file;
    return probe(source, metadata);
}

header_facts probe_file(const char *path, rkconv_metadata *metadata) {
    // stdio's own small buffer: a header is read, not the whole file.
    const file_handle file(std::fopen(path, "rb"));
    if (!file) {
        header_facts facts;
        facts.error = std::string(unknown_format_error) + " (" + std::strerror(errno) + ")";
        return facts;
    }
    return probe_stream(file.get(), metadata);
}

header_facts probe_memory(const std::uint8_t *bytes, std::size_t length, rkconv_metadata *metadata) {
    byte_source source;
    source.bytes = bytes;
    source.length = length;
    return probe(source, metadata);
}

}  // namespace rkconv
