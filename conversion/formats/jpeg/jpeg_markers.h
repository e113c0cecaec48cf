// The markers the JPEG room's own readers walk (T.81, table B.1), each the
// byte after 0xFF, and what their segments hold in common.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rkconv {

constexpr std::uint8_t start_of_image = 0xD8;
constexpr std::uint8_t end_of_image = 0xD9;
constexpr std::uint8_t start_of_scan = 0xDA;
constexpr std::uint8_t define_huffman_tables = 0xC4;
constexpr std::uint8_t define_restart_interval = 0xDD;
constexpr std::uint8_t comment = 0xFE;
constexpr std::uint8_t first_application = 0xE0;
constexpr std::uint8_t last_application = 0xEF;

inline std::uint32_t big_endian16(const std::uint8_t *at) { return (std::uint32_t{at[0]} << 8) | at[1]; }

// Whether a DRI segment's payload sets no restart interval, the only kind
// the readers take.
inline bool without_restarts(const std::uint8_t *payload, std::size_t length) {
    return length == 2 && big_endian16(payload) == 0;
}

}  // namespace rkconv
