#include <cctype>
#include <cstring>

#include "rasterkit_rules/formats.h"
#include "rasterkit_rules/extension.h"

namespace {

struct known_extension {
    const char *text;
    std::int32_t format;
};
constexpr known_extension known_extensions[] = {
    {".png", rasterkit::format_png},
    {".bmp", rasterkit::format_bmp},
    {".jpg", rasterkit::format_jpeg},
    {".jpeg", rasterkit::format_jpeg},
};

}  // namespace

void rasterkit_get_extension(const char *path, char *out, std::int32_t capacity) {
    if (out == nullptr || capacity <= 0) return;
    out[0] = '\0';
    const char *dot = std::strrchr(path, '.');
    if (dot == nullptr || dot == path || capacity <= 1) return;

    const std::size_t limit = static_cast<std::size_t>(capacity - 1);
    std::size_t length = 0;
    for (; length < limit && dot[length] != '\0'; ++length)
        out[length] = static_cast<char>(std::tolower(static_cast<unsigned char>(dot[length])));
    out[length] = '\0';
}

namespace rasterkit {

std::int32_t format_of_extension(const char *extension) {
    for (const known_extension &known : known_extensions)
        if (std::strcmp(extension, known.text) == 0) return known.format;
    return format_unknown;
}

std::int32_t format_of_name(const char *path) {
    char extension[extension_capacity];
    rasterkit_get_extension(path, extension, extension_capacity);
    return format_of_extension(extension);
}

}  // namespace rasterkit
