#include "conversion.h"

#include "colour.h"
#include "options.h"
#include "reading.h"
#include "record.h"
#include "writing.h"

namespace rkconv {
namespace {

constexpr const char *standard_input_name = "standard input";
constexpr const char *standard_output_name = "standard output";

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

read_outcome read_endpoint(const endpoint &input, const rkconv_options &options, rasterkit_image *image,
                           rkconv_metadata &metadata) {
    if (input.path != nullptr) return read_path(input.path, options, image, metadata);
    return read_descriptor(input.fd, standard_input_name, options, image, metadata);
}

// With --to-srgb, an image with a profile gets sRGB pixels; one whose
// profile cannot be used keeps its pixels, and the warning says so.
std::string convert_colours(const rkconv_options &options, const rkconv_metadata &metadata, rasterkit_image *image) {
    if (options.profile != RKCONV_PROFILE_TO_SRGB || metadata.icc_profile.empty()) return {};
    const std::string fault = convert_to_srgb(image, metadata.icc_profile);
    return fault.empty() ? fault : fault + ": not converted to sRGB, written without it";
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

conversion_result convert(const endpoint &input, const endpoint &output, const rkconv_options &options) {
    const char *input_name = input.path != nullptr ? input.path : standard_input_name;
    const char *output_name = output.path != nullptr ? output.path : standard_output_name;
    record image;
    if (!image.valid()) return {std::string(input_name) + ": out of memory", {}};
    rkconv_metadata metadata;
    const read_outcome read = read_endpoint(input, options, image.get(), metadata);
    if (!read.error.empty()) return {read.error, {}};
    for (std::int32_t transform : options.transforms)
        if (!apply_transform(transform, image.get()))
            return {std::string(input_name) + ": out of memory for " + transform_name(transform), {}};

    planned_write planned = plan_write(options, output.path, read.format, &metadata);
    if (!planned.error.empty()) return {std::string(output_name) + ": " + planned.error, {}};
    std::string about_input = convert_colours(options, metadata, image.get());
    add_warning(about_input, planned.profile_warning);
    const std::string fault = output.path != nullptr
                                  ? write_to_file(output.path, image.get(), planned.plan, about_input)
                                  : write_to_descriptor(output.fd, image.get(), planned.plan, about_input);
    if (!fault.empty()) return {std::string(output_name) + ": could not be written (" + fault + ")", {}};
    std::string said = planned.warning;
    if (!about_input.empty()) add_warning(said, std::string(input_name) + ": " + about_input);
    return {{}, said};
}

}  // namespace rkconv
