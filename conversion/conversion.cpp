#include "conversion.h"

#include <vector>

#include "memory_file.h"
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

read_outcome read_endpoint(const endpoint &input, const rkconv_options &options, rasterkit_image *image) {
    if (input.path != nullptr) return read_path(input.path, options, image);
    std::vector<std::uint8_t> bytes;
    if (std::string fault = read_all(input.fd, bytes); !fault.empty())
        return {-1, std::string(standard_input_name) + ": " + fault};
    return read_memory(bytes.data(), bytes.size(), standard_input_name, options, image);
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
    const read_outcome read = read_endpoint(input, options, image.get());
    if (!read.error.empty()) return {read.error, {}};
    for (std::int32_t transform : options.transforms)
        if (!apply_transform(transform, image.get()))
            return {std::string(input_name) + ": out of memory for " + transform_name(transform), {}};

    const planned_write planned = plan_write(options, output.path, read.format);
    if (!planned.error.empty()) return {std::string(output_name) + ": " + planned.error, {}};
    const std::string fault = output.path != nullptr ? write_to_file(output.path, image.get(), planned.plan)
                                                     : write_to_descriptor(output.fd, image.get(), planned.plan);
    if (!fault.empty()) return {std::string(output_name) + ": could not be written (" + fault + ")", {}};
    return {{}, planned.warning};
}

}  // namespace rkconv
