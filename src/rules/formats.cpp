#include "rasterkit_rules/formats.h"

#include <cstring>

namespace rasterkit {
namespace {

struct named_format {
    const char *name;
    std::int32_t format;
};
// The first name of each format is the one it is called by.
constexpr named_format format_names[] = {
    {"bmp", format_bmp}, {"png", format_png}, {"jpeg", format_jpeg}, {"jpg", format_jpeg}};

}  // namespace

const char *format_name(std::int32_t format) {
    for (const named_format &f : format_names)
        if (f.format == format) return f.name;
    return "unknown";
}

const char *format_extension(std::int32_t format) { return format == format_jpeg ? "jpg" : format_name(format); }

std::int32_t format_of_format_name(const char *name) {
    if (name == nullptr) return format_unknown;
    for (const named_format &f : format_names)
        if (std::strcmp(name, f.name) == 0) return f.format;
    return format_unknown;
}

}  // namespace rasterkit
