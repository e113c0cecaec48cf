#include "formats/png/png_room.h"

#include "file_ends.h"
#include "rasterkit_rules/formats.h"

namespace rkconv {
namespace {

using namespace std::string_view_literals;
constexpr std::string_view png_tail = "\0\0\0\0IEND\xAE\x42\x60\x82"sv;

}  // namespace

bool png_is_complete(const read_at &read, std::uint64_t size) { return has_ends(read, size, png_signature, png_tail); }

const format_room &png_room() {
    static const format_room room{rasterkit::format_png, open_png_decoder, encode_png, png_is_complete, nullptr};
    return room;
}

}  // namespace rkconv
