#include "rasterkit_rules/signature.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "rasterkit_rules/formats.h"

namespace rasterkit {
namespace {

constexpr unsigned char bmp_signature[] = {0x42, 0x4D};
constexpr unsigned char png_signature[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr unsigned char jpeg_start[] = {0xFF, 0xD8, 0xFF};
constexpr unsigned char jpeg_first_markers[] = {0xE0, 0xE1, 0xDB};

}  // namespace

std::int32_t format_of_signature(const unsigned char (&b)[signature_bytes]) {
    if (b[0] == bmp_signature[0]) return b[1] == bmp_signature[1] ? format_bmp : format_unknown;
    if (b[0] == png_signature[0])
        return std::memcmp(b, png_signature, sizeof png_signature) == 0 ? format_png : format_unknown;
    const bool jpeg = std::memcmp(b, jpeg_start, sizeof jpeg_start) == 0 &&
                      std::find(std::begin(jpeg_first_markers), std::end(jpeg_first_markers), b[3]) !=
                          std::end(jpeg_first_markers);
    return jpeg ? format_jpeg : format_unknown;
}

}  // namespace rasterkit
