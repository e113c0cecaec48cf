#include "tool_common.h"

#include <cctype>

namespace rktool {
namespace {

struct named_format {
    const char *name;
    std::int32_t format;
};
constexpr named_format format_names[] = {{"bmp", format_bmp}, {"png", format_png}, {"jpeg", format_jpeg}, {"jpg", format_jpeg}};
constexpr named_format known_extensions[] = {{".png", format_png}, {".bmp", format_bmp}, {".jpg", format_jpeg}, {".jpeg", format_jpeg}};

}  // namespace

const char *format_name(std::int32_t format) {
    for (const named_format &f : format_names)
        if (f.format == format) return f.name;
    return "unknown";
}

const char *format_extension(std::int32_t format) {
    return format == format_jpeg ? "jpg" : format_name(format);
}

std::int32_t format_from_name(const std::string &name) {
    for (const named_format &f : format_names)
        if (name == f.name) return f.format;
    return -1;
}

std::int32_t format_from_extension(const std::string &path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot == 0) return format_by_name;
    std::string extension = path.substr(dot);
    for (char &c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const named_format &known : known_extensions)
        if (extension == known.name) return known.format;
    return format_by_name;
}

}  // namespace rktool
