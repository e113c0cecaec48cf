// The JPEG codec on libjpeg's classic interface with stdio source and
// destination. A fatal libjpeg error prints libjpeg's own line on standard
// error and returns here instead of ending the host: the functions that call
// setjmp hold no object with a destructor, and everything libjpeg changes
// after it lives in a context outside their frame. The caller's image is
// changed only after the whole stream decoded.
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>

#include "common/handles.h"
#include "rasterkit_rules/jpeg_compress.h"
#include "image/image_model.h"

#ifndef JCS_ALPHA_EXTENSIONS
#error "the JPEG codec needs libjpeg-turbo's extended colour spaces (JCS_EXT_RGBA)"
#endif

namespace {

constexpr int gray_components = 1;
constexpr int rgb_components = 3;
constexpr int four_components = 4;
constexpr std::uint8_t opaque = 255;
// No real file has this many scans; hostile progressive files use thousands
// of them to make every scan a pass over the whole image.
constexpr int max_scans = 1000;

struct recoverable_error_mgr {
    jpeg_error_mgr standard;  // first, so libjpeg's pointer is ours too
    std::jmp_buf resume;
};

enum addon_message_code { too_many_scans_code = 1000 };
const char *const addon_messages[] = {"Too many scans in JPEG file (more than %d)", nullptr};

[[noreturn]] void print_and_resume(j_common_ptr cinfo) {
    (*cinfo->err->output_message)(cinfo);
    // libjpeg's error exit must not return and the library must not throw, so
    // the one way back to the codec is the jump its setjmp prepared.
    std::longjmp(reinterpret_cast<recoverable_error_mgr *>(cinfo->err)->resume, 1);  // NOLINT(cert-err52-cpp)
}

jpeg_error_mgr *install_error_manager(recoverable_error_mgr &manager) {
    jpeg_std_error(&manager.standard);
    manager.standard.error_exit = print_and_resume;
    manager.standard.addon_message_table = addon_messages;
    manager.standard.first_addon_message = too_many_scans_code;
    manager.standard.last_addon_message = too_many_scans_code;
    return &manager.standard;
}

void limit_scans(j_common_ptr cinfo) {
    auto *decompress = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (decompress->input_scan_number > max_scans) {
        cinfo->err->msg_code = too_many_scans_code;
        cinfo->err->msg_parm.i[0] = max_scans;
        (*cinfo->err->error_exit)(cinfo);
    }
}

// Greyscale and three-component files can come out of libjpeg-turbo as RGBA
// directly, with the same samples the RGB path gives; four-component files
// come out as four samples that are stored as they are. Either way the
// decode buffer has the record's layout.
bool choose_record_layout(jpeg_decompress_struct &cinfo) {
    switch (cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
        case JCS_YCbCr:
        case JCS_RGB:
            cinfo.out_color_space = JCS_EXT_RGBA;
            break;
        default:
            break;
    }
    jpeg_calc_output_dimensions(&cinfo);
    return cinfo.output_components == four_components;
}

struct decoded_jpeg {
    std::uint8_t *samples;
    std::int32_t width;
    std::int32_t height;
    int components;
    bool record_layout;
};

enum class decode_status { decoded, header_not_ok, failed };

// What libjpeg changes while it works lives here, outside the frame that
// calls setjmp, so that it is still valid when control comes back through
// longjmp.
struct decode_context {
    jpeg_decompress_struct cinfo;
    recoverable_error_mgr error_manager;
    jpeg_progress_mgr progress;
    std::uint8_t *samples;
};

decode_status decode_stream(std::FILE *file, decode_context *context, decoded_jpeg *out) {
    jpeg_decompress_struct *cinfo = &context->cinfo;
    cinfo->err = install_error_manager(context->error_manager);
    context->progress.progress_monitor = limit_scans;

    if (setjmp(context->error_manager.resume)) {  // NOLINT(cert-err52-cpp): libjpeg's fatal errors land here
        jpeg_destroy_decompress(cinfo);
        std::free(context->samples);
        return decode_status::failed;
    }
    jpeg_create_decompress(cinfo);
    cinfo->progress = &context->progress;
    jpeg_stdio_src(cinfo, file);
    if (jpeg_read_header(cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(cinfo);
        return decode_status::header_not_ok;
    }
    const bool record_layout = choose_record_layout(*cinfo);
    // Sizes the record cannot hold are refused before libjpeg allocates for them.
    if (!rasterkit::size_fits(cinfo->output_width, cinfo->output_height)) {
        jpeg_destroy_decompress(cinfo);
        return decode_status::failed;
    }
    jpeg_start_decompress(cinfo);

    const std::size_t row_bytes = std::size_t{cinfo->output_width} * static_cast<std::size_t>(cinfo->output_components);
    context->samples = static_cast<std::uint8_t *>(std::malloc(row_bytes * cinfo->output_height));
    if (context->samples == nullptr) {
        jpeg_destroy_decompress(cinfo);
        return decode_status::failed;
    }
    while (cinfo->output_scanline < cinfo->output_height) {
        JSAMPROW row = context->samples + std::size_t{cinfo->output_scanline} * row_bytes;
        jpeg_read_scanlines(cinfo, &row, 1);
    }
    // libjpeg can still fail here (a second frame after the scan, say).
    jpeg_finish_decompress(cinfo);

    *out = {context->samples, static_cast<std::int32_t>(cinfo->output_width),
            static_cast<std::int32_t>(cinfo->output_height), cinfo->output_components, record_layout};
    jpeg_destroy_decompress(cinfo);
    return decode_status::decoded;
}

// Decoded samples that do not have the record's layout go pixel by pixel.
void store_converted(const decoded_jpeg &decoded, rasterkit_image *image) {
    if (rasterkit_image_resize(image, decoded.width, decoded.height) != 0) return;
    const int c = decoded.components;
    const std::uint8_t *s = decoded.samples;
    for (std::int32_t y = 0; y < decoded.height; ++y) {
        for (std::int32_t x = 0; x < decoded.width; ++x, s += c) {
            if (c == gray_components) {
                rasterkit::store_pixel(image, x, y, s[0], s[0], s[0], opaque);
            } else if (c == rgb_components) {
                rasterkit::store_pixel(image, x, y, s[0], s[1], s[2], opaque);
            } else if (c == four_components) {
                rasterkit::store_pixel(image, x, y, s[0], s[1], s[2], s[3]);
            } else {
                std::printf("rasterkit_read_jpeg: Doesn't know how to handle pixel size of %d\n.", c);
            }
        }
    }
}

struct encode_context {
    jpeg_compress_struct cinfo;
    recoverable_error_mgr error_manager;
};

bool encode_stream(std::FILE *file, const rasterkit_image *image, int quality, encode_context *context) {
    jpeg_compress_struct *cinfo = &context->cinfo;
    cinfo->err = install_error_manager(context->error_manager);

    if (setjmp(context->error_manager.resume)) {  // NOLINT(cert-err52-cpp): libjpeg's fatal errors land here
        jpeg_destroy_compress(cinfo);
        return false;
    }
    jpeg_create_compress(cinfo);
    jpeg_stdio_dest(cinfo, file);
    rasterkit::compress_rgba(cinfo, image, quality);
    jpeg_destroy_compress(cinfo);
    return true;
}

}  // namespace

extern "C" {

RASTERKIT_API void rasterkit_readimage_jpeg(const char *path, rasterkit_image *image) {
    rasterkit::file_handle file = rasterkit::open_stream(path, "rb");
    if (!file) {
        std::printf("rasterkit_readimage_jpeg: Error! %s could not be opened!\n", path);
        return;
    }
    decode_context context{};
    decoded_jpeg decoded{};
    const decode_status status = decode_stream(file.get(), &context, &decoded);
    file.reset();
    if (status == decode_status::header_not_ok) {
        std::printf("rasterkit_readimg_jpg: Error! %s not a normal JPEG.\n", path);
        return;
    }
    if (status != decode_status::decoded) return;

    if (decoded.record_layout) {
        rasterkit::adopt_pixels(image, decoded.samples, decoded.width, decoded.height);
        return;
    }
    rasterkit::byte_buffer samples(decoded.samples);
    store_converted(decoded, image);
}

RASTERKIT_API void rasterkit_writeimage_jpeg(const char *path, const rasterkit_image *image, int32_t quality) {
    rasterkit::file_handle file = rasterkit::open_stream(path, "wb");
    if (!file) {
        std::printf("rasterkit_writeimage_jpeg: Error! %s could not be opened!\n", path);
        return;
    }
    encode_context context{};
    encode_stream(file.get(), image, quality, &context);
}

}  // extern "C"
