// The PNG room: decoder on libpng's full read interface, encoder of its
// own on libdeflate, and the completeness check of a written file.
#pragma once

#include <memory>

#include "format_room.h"

namespace rkconv {

std::unique_ptr<decoder> open_png_decoder(byte_source &source);
status encode_png(const rasterkit_image *image, const encode_settings &settings, byte_sink &sink, warnings &said);
// A PNG is whole when it ends with its end chunk.
bool png_is_complete(const read_at &read, std::uint64_t size);

}  // namespace rkconv
