// PNG pixels through libpng's full interface, with the transformations
// rasterkit's reader gets from libpng's simplified one, so the pixels are
// the same: palettes and low depths expanded, grey made RGB, an opaque alpha
// added where there is none, 16-bit samples scaled, and gamma encoded for
// sRGB (a 16-bit file without gAMA counts as linear).
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

#include "format_room.h"
#include "formats/png/png_room.h"
#include "rasterkit_rules/formats.h"

namespace rkconv {
namespace {

constexpr int rgba_bytes = 4;
constexpr png_uint_32 png_largest_dimension = PNG_UINT_31_MAX;

// What libpng changes while it works lives outside the frames that call
// setjmp, so that it is still valid when control comes back by longjmp.
struct png_read_context {
    byte_source *source = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    warnings *said = nullptr;
    std::vector<png_bytep> rows;
    char error[256] = {};
    bool out_of_data = false;
};

extern "C" void png_read_failed(png_structp png, png_const_charp text) {
    auto *context = static_cast<png_read_context *>(png_get_error_ptr(png));
    std::snprintf(context->error, sizeof context->error, "%s", text);
    png_longjmp(png, 1);
}

extern "C" void png_read_warned(png_structp png, png_const_charp text) {
    auto *context = static_cast<png_read_context *>(png_get_error_ptr(png));
    if (context->said != nullptr) context->said->add(concerning::input, text);
}

extern "C" void png_read_bytes(png_structp png, png_bytep into, png_size_t count) {
    auto *context = static_cast<png_read_context *>(png_get_io_ptr(png));
    if (context->source->read(into, count) == count) return;
    context->out_of_data = true;
    png_error(png, context->source->read_error() != 0 ? "the file could not be read" : "the file ends early");
}

void read_metadata(png_structp png, png_infop info, rkconv_metadata &metadata) {
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

bool read_info(png_read_context *context, rkconv_metadata *metadata) {
    if (setjmp(png_jmpbuf(context->png))) return false;  // NOLINT(cert-err52-cpp): libpng's errors land here
    png_set_read_fn(context->png, context, png_read_bytes);
    // The same tolerance rasterkit's reader sets up.
    png_set_benign_errors(context->png, 1);
    // PNG's own limits; the pixel limit guards memory.
    png_set_user_limits(context->png, png_largest_dimension, png_largest_dimension);
    // Chunks past this size (a profile, an EXIF block) are skipped with a warning.
    png_set_chunk_malloc_max(context->png, max_icc_bytes);
    png_read_info(context->png, context->info);
    if (metadata != nullptr) read_metadata(context->png, context->info, *metadata);
    return true;
}

void ask_for_rgba(png_structp png, png_infop info) {
    const png_byte colour_type = png_get_color_type(png, info);
    const bool sixteen_bits = png_get_bit_depth(png, info) == 16;
    const bool has_alpha = (colour_type & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    png_set_expand(png);
    if ((colour_type & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    // The first call gives files without gAMA their default, the second the output's gamma.
    png_set_alpha_mode_fixed(png, PNG_ALPHA_PNG, sixteen_bits ? PNG_GAMMA_LINEAR : PNG_DEFAULT_sRGB);
    if (sixteen_bits) png_set_scale_16(png);
    if (!has_alpha) png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_alpha_mode_fixed(png, PNG_ALPHA_PNG, PNG_DEFAULT_sRGB);
}

bool read_pixels(png_read_context *context, bool *started) {
    if (setjmp(png_jmpbuf(context->png))) return false;  // NOLINT(cert-err52-cpp): libpng's errors land here
    png_structp png = context->png;
    ask_for_rgba(png, context->info);
    png_set_interlace_handling(png);
    png_read_update_info(png, context->info);
    if (png_get_rowbytes(png, context->info) != std::size_t{rgba_bytes} * png_get_image_width(png, context->info))
        png_error(png, "unexpected row size after transformation");
    *started = true;
    png_read_image(png, context->rows.data());
    return true;
}

class png_decoder final : public decoder {
public:
    explicit png_decoder(byte_source &source) { context_->source = &source; }
    ~png_decoder() override { png_destroy_read_struct(&context_->png, &context_->info, nullptr); }
    png_decoder(const png_decoder &) = delete;
    png_decoder &operator=(const png_decoder &) = delete;

    status read_header(image_header &header, rkconv_metadata *metadata) override {
        context_->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, context_.get(), png_read_failed, png_read_warned);
        if (context_->png != nullptr) context_->info = png_create_info_struct(context_->png);
        if (context_->info == nullptr) return out_of_memory();
        if (!read_info(context_.get(), metadata)) return refusal();
        header.format = rasterkit::format_png;
        return accept_size(png_get_image_width(context_->png, context_->info),
                           png_get_image_height(context_->png, context_->info), header);
    }

    status decode(std::uint8_t *pixels, const decode_settings &settings, warnings &said) override {
        context_->said = &said;
        const png_uint_32 width = png_get_image_width(context_->png, context_->info);
        const png_uint_32 height = png_get_image_height(context_->png, context_->info);
        context_->rows.resize(height);
        std::uint8_t *row = pixels;
        for (png_bytep &start : context_->rows) {
            start = row;
            row += std::size_t{width} * rgba_bytes;
        }
        if (settings.accept_damaged) png_set_crc_action(context_->png, PNG_CRC_WARN_USE, PNG_CRC_WARN_DISCARD);
        bool started = false;
        if (read_pixels(context_.get(), &started)) return success();
        // What was decoded before the damage stays, the rest transparent black.
        if (started && settings.accept_damaged) {
            said.add(concerning::input, std::string("damaged: ") + context_->error + "; the rest is left transparent");
            return success();
        }
        if (context_->out_of_data && context_->source->read_error() != 0)
            return system_failure(context_->source->read_error(), "cannot be read");
        return failure(failure_kind::damaged, std::string("damaged PNG data (") + context_->error + ")");
    }

private:
    status refusal() const {
        if (context_->out_of_data && context_->source->read_error() != 0)
            return system_failure(context_->source->read_error(), "cannot be read");
        return failure(failure_kind::damaged, std::string("cannot be read as png (") + context_->error + ")");
    }

    std::unique_ptr<png_read_context> context_ = std::make_unique<png_read_context>();
};

}  // namespace

std::unique_ptr<decoder> open_png_decoder(byte_source &source) { return std::make_unique<png_decoder>(source); }

}  // namespace rkconv
