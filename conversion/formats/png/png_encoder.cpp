#include "formats/png/png_encoder.h"
#include "formats/png/png_room.h"

#include <png.h>

#include <cstdio>
#include <memory>
#include <vector>

namespace rkconv {
namespace {

constexpr int rgba_channels = 4;
constexpr int alpha_offset = 3;

// What libpng changes while it works lives outside the frame that calls
// setjmp, so that it is still valid when control comes back by longjmp.
struct png_encode_context {
    png_structp png = nullptr;
    png_infop info = nullptr;
    byte_sink *sink = nullptr;
    std::vector<png_bytep> rows;
    char error[256] = {};
};

extern "C" void png_encode_error(png_structp png, png_const_charp text) {
    auto *context = static_cast<png_encode_context *>(png_get_error_ptr(png));
    const std::string cause = context->sink->failure();
    std::snprintf(context->error, sizeof context->error, "%s", cause.empty() ? text : cause.c_str());
    png_longjmp(png, 1);
}

extern "C" void png_encode_warning(png_structp, png_const_charp) {}

extern "C" void png_encode_write(png_structp png, png_bytep bytes, png_size_t count) {
    auto *context = static_cast<png_encode_context *>(png_get_io_ptr(png));
    if (!context->sink->write(bytes, count)) png_error(png, "Write Error");
}

extern "C" void png_encode_flush(png_structp png) {
    auto *context = static_cast<png_encode_context *>(png_get_io_ptr(png));
    if (!context->sink->flush()) png_error(png, "Flush Error");
}

constexpr char profile_name[] = "ICC profile";

// An iCCP chunk where the image has a profile libpng accepts, else the sRGB
// chunk. Profiles libpng finds fault with come back as its warnings, not
// errors, so that a bad profile never fails the write.
void describe_colours(png_structp png, png_infop info, const encode_settings &settings, warnings &said) {
    const std::vector<std::uint8_t> *profile = settings.icc_profile;
    if (profile != nullptr && !profile->empty()) {
        png_set_benign_errors(png, 1);
        png_set_iCCP(png, info, profile_name, PNG_COMPRESSION_TYPE_BASE, profile->data(),
                     static_cast<png_uint_32>(profile->size()));
        if (png_get_valid(png, info, PNG_INFO_iCCP) != 0) return;
        said.add(concerning::output, "libpng refused the colour profile: written as sRGB");
    }
    png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
}

bool write_png(png_encode_context *context, const rasterkit_image *image, const encode_settings &settings,
               bool opaque, warnings &said) {
    if (setjmp(png_jmpbuf(context->png))) return false;  // NOLINT(cert-err52-cpp): libpng's errors land here
    png_set_write_fn(context->png, context, png_encode_write, png_encode_flush);
    // libpng's default limit of a million rows or columns is not PNG's; every record is written.
    png_set_user_limits(context->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_compression_level(context->png, settings.compression);
    png_set_filter(context->png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_set_IHDR(context->png, context->info, static_cast<png_uint_32>(image->width),
                 static_cast<png_uint_32>(image->height), 8, opaque ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE, PNG_FILTER_TYPE_BASE);
    describe_colours(context->png, context->info, settings, said);
    png_write_info(context->png, context->info);
    // The record's rows go in as they lie; for RGB libpng drops the fourth byte.
    if (opaque) png_set_filler(context->png, 0, PNG_FILLER_AFTER);
    png_write_image(context->png, context->rows.data());
    png_write_end(context->png, context->info);
    return true;
}

}  // namespace

bool is_opaque(const rasterkit_image *image) {
    const std::size_t count = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height);
    const png_byte *alpha = image->data + alpha_offset;
    for (std::size_t i = 0; i < count; ++i, alpha += rgba_channels)
        if (*alpha != 255) return false;
    return true;
}

status encode_png(const rasterkit_image *image, const encode_settings &settings, byte_sink &sink, warnings &said) {
    auto context = std::make_unique<png_encode_context>();
    context->sink = &sink;
    context->rows.resize(static_cast<std::size_t>(image->height));
    const bool opaque = is_opaque(image);
    const std::size_t stride = static_cast<std::size_t>(image->width) * rgba_channels;
    for (std::size_t y = 0; y < context->rows.size(); ++y) context->rows[y] = image->data + y * stride;
    context->png = png_create_write_struct(PNG_LIBPNG_VER_STRING, context.get(), png_encode_error, png_encode_warning);
    if (context->png != nullptr) context->info = png_create_info_struct(context->png);
    if (context->info == nullptr) {
        png_destroy_write_struct(&context->png, nullptr);
        return out_of_memory();
    }
    const bool written = write_png(context.get(), image, settings, opaque, said);
    png_destroy_write_struct(&context->png, &context->info);
    if (written) return success();
    return sink.failure_number() != 0 ? system_failure(sink.failure_number(), "")
                                      : failure(failure_kind::input_output, context->error);
}

}  // namespace rkconv
