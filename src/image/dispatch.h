// Internal part of format dispatch.
#ifndef RASTERKIT_DISPATCH_H
#define RASTERKIT_DISPATCH_H

#include <cstdint>

// The lower-cased extension of `path` (from its last dot, which must not be
// its first character) in `out`, cut to capacity - 1 characters.
void rasterkit_get_extension(const char *path, char *out, std::int32_t capacity);

#endif
