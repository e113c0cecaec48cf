// The BMP room: the library's header rule and row decoding on a byte source,
// its 24-bit writer's bytes on a sink, and the completeness check.
#pragma once

#include <memory>

#include "format_room.h"

namespace rkconv {

std::unique_ptr<decoder> open_bmp_decoder(byte_source &source);
// The bytes rasterkit's BMP writer writes: 24-bit, bottom-up, no profile.
status encode_bmp(const rasterkit_image *image, const encode_settings &settings, byte_sink &sink, warnings &said);
// A BMP is whole when it is as long as its header says.
bool bmp_is_complete(const read_at &read, std::uint64_t size);

}  // namespace rkconv
