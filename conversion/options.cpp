#include "options.h"

#include "fileutil/fileutil.h"
#include "image/dispatch.h"

namespace rkconv {
namespace {

struct named_format {
    const char *text;
    std::int32_t format;
};
constexpr named_format format_names[] = {{"bmp", format_bmp}, {"png", format_png}, {"jpeg", format_jpeg}};

}  // namespace

const rkconv_options &default_options() {
    static const rkconv_options defaults;
    return defaults;
}

std::uint64_t effective_pixel_limit(const rkconv_options &options) {
    if (options.max_pixels == 0 || options.max_pixels > record_max_pixels) return record_max_pixels;
    return options.max_pixels;
}

const char *format_name(std::int32_t format) {
    for (const named_format &f : format_names)
        if (f.format == format) return f.text;
    return "unknown";
}

const char *format_extension(std::int32_t format) { return format == format_jpeg ? "jpg" : format_name(format); }

std::int32_t format_from_extension(const char *path) {
    const std::int32_t format = rasterkit::format_of_name(path);
    return format == rasterkit::format_unknown ? format_by_name : format;
}

}  // namespace rkconv
