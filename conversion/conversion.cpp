#include "conversion.h"

#include <memory>
#include <optional>

#include "colour.h"
#include "options.h"
#include "reading.h"
#include "record.h"
#include "scaling/geometry.h"
#include "writing.h"

namespace rkconv {
namespace {

const char *transform_name(std::int32_t transform) {
    switch (transform) {
        case RKCONV_TRANSFORM_FLIP_X:
            return "flip-x";
        case RKCONV_TRANSFORM_FLIP_Y:
            return "flip-y";
        default:
            return "transpose";
    }
}

// With --to-srgb, an image with a profile gets sRGB pixels; one whose
// profile cannot be used keeps its pixels, and the warning says so.
void convert_colours(const rkconv_options &options, const rkconv_metadata &metadata, rasterkit_image *image,
                     warnings &said) {
    if (options.profile != RKCONV_PROFILE_TO_SRGB || metadata.icc_profile.empty()) return;
    const std::string fault = convert_to_srgb(image, metadata.icc_profile);
    if (!fault.empty()) said.add(concerning::input, fault + ": not converted to sRGB, written without it");
}

}  // namespace

bool apply_transform(std::int32_t transform, rasterkit_image *image) {
    switch (transform) {
        case RKCONV_TRANSFORM_FLIP_X:
            rasterkit_image_flipx(image);
            return true;
        case RKCONV_TRANSFORM_FLIP_Y:
            rasterkit_image_flipy(image);
            return true;
        case RKCONV_TRANSFORM_TRANSPOSE:
            return rasterkit_transpose_image(image) == 0;
        default:
            return false;
    }
}

namespace {

// Whether the pixels go from the decoder to the encoder as they are:
// nothing to turn, cut, scale, mirror or convert.
bool passes_unchanged(const rkconv_options &options, const rkconv_metadata &metadata) {
    const geometry_settings &geometry = options.geometry;
    if (geometry.resizes() || geometry.cropped || geometry.rotation != 0 || !options.transforms.empty()) return false;
    if (options.auto_orient && metadata.orientation > 1) return false;
    return options.profile != RKCONV_PROFILE_TO_SRGB || metadata.icc_profile.empty();
}

status write_out(const endpoint &output, const pixels_to_write &pixels, const write_plan &plan, warnings &said) {
    if (output.encoded != nullptr) return write_to_bytes(pixels, plan, *output.encoded, said);
    return output.path != nullptr ? write_to_file(output.path, pixels, plan, said)
                                  : write_to_descriptor(output.fd, pixels, plan, said);
}

status apply_transforms(const rkconv_options &options, rasterkit_image *image) {
    for (std::int32_t transform : options.transforms)
        if (!apply_transform(transform, image))
            return failure(failure_kind::out_of_memory, std::string("out of memory for ") + transform_name(transform));
    return success();
}

}  // namespace

status reshape(rasterkit_image *image, const rkconv_options &options) {
    planned_size plan;
    if (status s = plan_size(options.geometry, image->width, image->height, effective_pixel_limit(options), plan);
        !s.ok())
        return s;
    if (status s = apply_geometry(image, options.geometry, plan, image->width, image->height); !s.ok()) return s;
    return apply_transforms(options, image);
}

status convert(const endpoint &input, const endpoint &output, const rkconv_options &options, warnings &said,
               written_image *written) {
    // Settings that cannot work are refused before the input is touched.
    write_plan plan;
    warnings unheard;
    if (status s = plan_write(options, output.path, -1, nullptr, plan, unheard); !s.ok()) return s;

    record image;
    if (!image.valid()) return out_of_memory();
    rkconv_metadata metadata;
    image_header header;
    input_place place;
    place.path = input.path;
    place.fd = input.fd;
    place.in_memory = input.bytes != nullptr;
    place.bytes = input.bytes;
    place.length = input.length;

    // Rows go straight from the decoder to an encoder that takes them when
    // nothing needs the whole image; the warnings keep their usual order.
    bool streamed = false;
    warnings streamed_said;
    const row_taker stream = [&](decoder &opened, const image_header &found_header, const rkconv_metadata &found,
                                 warnings &decoder_said) -> std::optional<status> {
        if (!passes_unchanged(options, found)) return std::nullopt;
        write_plan direct;
        if (!plan_write(options, output.path, found_header.format, &found, direct, streamed_said).ok() ||
            room_of(direct.format)->encode_rows == nullptr)
            return std::nullopt;
        std::unique_ptr<row_stream> rows = opened.start_rows({options.accept_damaged, nullptr, 1}, decoder_said);
        if (rows == nullptr) return std::nullopt;
        streamed = true;
        if (!rows->failure().ok()) return rows->failure();
        if (written != nullptr) *written = written_image{direct.format, found_header.width, found_header.height};
        const pixels_to_write pixels{nullptr, rows.get(), found_header.width, found_header.height};
        return write_out(output, pixels, direct, streamed_said);
    };
    status read = read_input(place, options, image.get(), metadata, header, said, stream);
    if (streamed) {
        for (const warning &w : streamed_said.list()) said.add(w.about, w.text);
        return read;
    }
    if (!read.ok()) return read;
    if (status s = apply_transforms(options, image.get()); !s.ok()) return s;

    if (status s = plan_write(options, output.path, header.format, &metadata, plan, said); !s.ok()) return s;
    convert_colours(options, metadata, image.get(), said);
    if (written != nullptr) *written = written_image{plan.format, image.get()->width, image.get()->height};
    return write_out(output, pixels_to_write::of(image.get()), plan, said);
}

}  // namespace rkconv
