#include "formats/bmp/bmp_room.h"

#include "rasterkit_rules/bmp_header.h"
#include "rasterkit_rules/formats.h"

namespace rkconv {
namespace {

constexpr std::size_t length_field_end = 6;

}  // namespace

bool bmp_is_complete(const read_at &read, std::uint64_t size) {
    unsigned char head[length_field_end] = {};
    if (size < rasterkit::bmp_header_bytes || !read(reinterpret_cast<char *>(head), sizeof head, 0)) return false;
    const std::uint32_t promised = std::uint32_t{head[2]} | std::uint32_t{head[3]} << 8 |
                                   std::uint32_t{head[4]} << 16 | std::uint32_t{head[5]} << 24;
    return head[0] == 'B' && head[1] == 'M' && promised == size;
}

const format_room &bmp_room() {
    static const format_room room{rasterkit::format_bmp, open_bmp_decoder, encode_bmp, bmp_is_complete, nullptr};
    return room;
}

}  // namespace rkconv
