#include "pixel_content.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace rkconv {
namespace {

constexpr std::size_t channels = 4;
constexpr std::size_t alpha = 3;
constexpr std::size_t scan_block = 64;

}  // namespace

pixel_content content_of(const rasterkit_image *image) {
    const std::size_t count = std::size_t(image->width) * std::size_t(image->height);
    bool grey = true;
    for (std::size_t first = 0; first < count; first += scan_block) {
        const std::uint8_t *p = image->data + first * channels;
        const std::size_t n = std::min(scan_block, count - first);
        unsigned translucent = 0, coloured = 0;
        for (std::size_t i = 0; i < n; ++i, p += channels) {
            translucent |= p[alpha] ^ 255u;
            coloured |= (p[0] ^ p[1]) | (p[1] ^ p[2]);
        }
        if (translucent != 0) return pixel_content::transparent;
        grey = grey && coloured == 0;
    }
    return grey ? pixel_content::grey_opaque : pixel_content::opaque;
}

}  // namespace rkconv
