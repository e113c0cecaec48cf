#include "formats/jpeg/jpeg_room.h"

#include "file_ends.h"
#include "rasterkit_rules/formats.h"

namespace rkconv {
namespace {

using namespace std::string_view_literals;
constexpr std::string_view jpeg_head = "\xFF\xD8"sv;
constexpr std::string_view jpeg_tail = "\xFF\xD9"sv;

}  // namespace

bool jpeg_is_complete(const read_at &read, std::uint64_t size) { return has_ends(read, size, jpeg_head, jpeg_tail); }

const format_room &jpeg_room() {
    static const format_room room{rasterkit::format_jpeg, open_jpeg_decoder, encode_jpeg, jpeg_is_complete,
                                  encode_jpeg_rows};
    return room;
}

}  // namespace rkconv
