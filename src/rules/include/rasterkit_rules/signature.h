// The format a file's first bytes announce: the one rule that both the
// library's dispatch and the conversion library's probe follow.
#ifndef RASTERKIT_SIGNATURE_H
#define RASTERKIT_SIGNATURE_H

#include <cstddef>
#include <cstdint>

namespace rasterkit {

constexpr std::size_t signature_bytes = 8;

// 1 BMP, 2 PNG, 3 JPEG or -1, from the first signature_bytes of a file;
// bytes a short file lacks must be zero.
std::int32_t format_of_signature(const unsigned char (&bytes)[signature_bytes]);

}  // namespace rasterkit

#endif
