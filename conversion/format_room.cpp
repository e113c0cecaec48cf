#include "format_room.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "rasterkit_rules/formats.h"
#include "rasterkit_rules/signature.h"

namespace rkconv {
namespace {

constexpr std::uint8_t jpeg_start[] = {0xFF, 0xD8, 0xFF};
// Markers are 0xC0 to 0xFE; 0xFF is a fill byte before one.
constexpr std::uint8_t first_marker_code = 0xC0;

}  // namespace

status accept_size(std::uint64_t width, std::uint64_t height, image_header &header) {
    // Sizes beyond 32 bits can reach no record; say so rather than wrap.
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return failure(failure_kind::damaged,
                       std::string("cannot be read as ") + rasterkit::format_name(header.format) + " (no usable size)");
    header.width = static_cast<std::int32_t>(width);
    header.height = static_cast<std::int32_t>(height);
    return success();
}

const format_room *room_of(std::int32_t format) {
    switch (format) {
        case rasterkit::format_bmp:
            return &bmp_room();
        case rasterkit::format_png:
            return &png_room();
        case rasterkit::format_jpeg:
            return &jpeg_room();
        default:
            return nullptr;
    }
}

std::int32_t format_of_leading_bytes(const std::uint8_t *bytes, std::size_t count) {
    unsigned char signature[rasterkit::signature_bytes] = {};
    std::memcpy(signature, bytes, std::min(count, sizeof signature));
    const std::int32_t by_rule = rasterkit::format_of_signature(signature);
    if (by_rule != rasterkit::format_unknown) return by_rule;
    const bool jpeg = count > sizeof jpeg_start && std::memcmp(bytes, jpeg_start, sizeof jpeg_start) == 0 &&
                      bytes[sizeof jpeg_start] >= first_marker_code;
    return jpeg ? rasterkit::format_jpeg : rasterkit::format_unknown;
}

}  // namespace rkconv
