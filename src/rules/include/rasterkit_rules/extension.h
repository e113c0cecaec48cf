// The extension rule by which the dispatching writer picks a format, which
// the conversion library follows too.
#ifndef RASTERKIT_RULES_EXTENSION_H
#define RASTERKIT_RULES_EXTENSION_H

#include <cstdint>

// The lower-cased extension of `path` (from its last dot, which must not be
// its first character) in `out`, cut to capacity - 1 characters.
void rasterkit_get_extension(const char *path, char *out, std::int32_t capacity);

namespace rasterkit {

constexpr std::int32_t extension_capacity = 20;

// The format of a lower-cased extension as rasterkit_get_extension gives
// it: .png, .bmp, .jpg, .jpeg; format_unknown for any other.
std::int32_t format_of_extension(const char *extension);

// The format the writer picks for a file name; format_unknown where it
// falls back to PNG with its warning.
std::int32_t format_of_name(const char *path);

}  // namespace rasterkit

#endif
