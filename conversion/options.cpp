#include "options.h"

#include "rasterkit_rules/extension.h"
#include "rasterkit_rules/formats.h"

namespace rkconv {

const rkconv_options &default_options() {
    static const rkconv_options defaults;
    return defaults;
}

std::uint64_t effective_pixel_limit(const rkconv_options &options) {
    if (options.max_pixels == 0 || options.max_pixels > record_max_pixels) return record_max_pixels;
    return options.max_pixels;
}

const char *format_name(std::int32_t format) { return rasterkit::format_name(format); }

const char *format_extension(std::int32_t format) { return rasterkit::format_extension(format); }

std::int32_t format_from_extension(const char *path) {
    const std::int32_t format = rasterkit::format_of_name(path);
    return format == rasterkit::format_unknown ? format_by_name : format;
}

}  // namespace rkconv
