// The PNG room: decoder on libpng's full read interface, encoder of its
// own on libdeflate, and the completeness check of a written file.
#pragma once

#include <memory>
#include <string_view>

#include "format_room.h"

namespace rkconv {

// The eight bytes every PNG file starts with.
inline constexpr std::string_view png_signature{"\x89PNG\r\n\x1A\n", 8};

std::unique_ptr<decoder> open_png_decoder(byte_source &source);
status encode_png(const rasterkit_image *image, const encode_settings &settings, byte_sink &sink, warnings &said);
// A PNG is whole when it ends with its end chunk.
bool png_is_complete(const read_at &read, std::uint64_t size);

}  // namespace rkconv
