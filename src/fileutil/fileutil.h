// Internal file helpers: stream length and whole-file byte transfer.
#ifndef RASTERKIT_FILEUTIL_H
#define RASTERKIT_FILEUTIL_H

#include <cstdint>
#include <cstdio>

#include "rasterkit_rules/formats.h"

namespace rasterkit {
// Reads what the stream still has, up to `count` bytes. The readers treat a
// short file as one whose missing bytes are whatever the buffer held, so the
// count matters only to callers that ask for it.
inline std::size_t read_available(std::FILE *file, void *into, std::size_t count) {
    return std::fread(into, 1, count, file);
}
}  // namespace rasterkit

// Length of an open stream in bytes, -1 when it cannot be told; the stream is
// left at its first byte.
std::int32_t rasterkit_filelength(std::FILE *file);

// Reads at most `capacity` bytes of the file at `path` into `buffer`; the
// number of bytes that arrived goes to *count when count is not null.
std::int32_t rasterkit_readbinfile(const char *path, std::uint8_t *buffer, std::int32_t capacity, std::int32_t *count);

// Replaces the file at `path` with `length` bytes of `data`.
std::int32_t rasterkit_writebinfile(const char *path, const std::uint8_t *data, std::int32_t length);

#endif
