// Reading a sequential JPEG scan's Huffman codes: lookup tables built from a
// DHT table, the scan's data unstuffed, and a bit reader that loads eight
// bytes at a time. Shared by the re-coding of a scan and the decoder that
// gives a scan at a fraction of its size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "formats/jpeg/huffman_table.h"

namespace rkconv {
namespace huffman {

constexpr int max_blocks_per_mcu = 10;
constexpr int block_coefficients = 64;
constexpr int max_value_bits = 15;  // what the size nibble of an AC symbol can say
constexpr int zero_run = 0x0F;      // the run of an AC symbol that skips 16 zeros
constexpr int fast_bits = 10;       // the codes the lookup table decodes in one step
constexpr std::uint8_t marker_prefix = 0xFF;

enum table_kind { dc = 0, ac = 1 };

// A symbol as a scan codes it, packed in one word: the symbol, the length
// of its code and the count of value bits after the code (a DC symbol's
// value, an AC symbol's low nibble). 0 for none, as every code has a length.
using coded_symbol = std::uint32_t;

inline coded_symbol pack(int symbol, int code_length, int value_bits) {
    return static_cast<coded_symbol>(symbol | code_length << 8 | value_bits << 16);
}
inline int symbol_of(coded_symbol coded) { return static_cast<int>(coded & 0xFF); }
inline int code_length_of(coded_symbol coded) { return static_cast<int>((coded >> 8) & 0xFF); }
inline int value_bits_of(coded_symbol coded) { return static_cast<int>(coded >> 16); }
inline int value_bits_after(int kind, int symbol) { return kind == dc ? symbol : symbol & 0x0F; }

struct decoding_table {
    coded_symbol fast[1 << fast_bits] = {};  // every code of fast_bits or fewer, by the next fast_bits bits
    std::int32_t last_code[max_code_length + 1] = {};  // -1 where no code has this length
    std::int32_t first_index[max_code_length + 1] = {};  // of the symbol whose code would be 0
    std::uint8_t symbols[symbol_values] = {};
    int kind = dc;
};

// False for a table whose codes overflow or whose DC symbols ask for more
// value bits than a coefficient has.
bool build_decoding(const huffman_table &table, int kind, decoding_table &decoding);

inline std::uint64_t load_big_endian64(const std::uint8_t *at) {
    std::uint64_t word = 0;
    std::memcpy(&word, at, sizeof word);
    return __builtin_bswap64(word);
}

// The scan's data with the zero stuffed after each 0xFF taken out, and
// zeros after it, so that the reader can load eight bytes at a time without
// looking for markers or the end. A scan that reads into the zeros is told
// at the end of an MCU, which reads no more than lookahead_room bytes.
constexpr std::size_t lookahead_room = max_blocks_per_mcu * block_coefficients * 4 + 8;

// Where the entropy-coded data at `data` ends: the offset of the first
// marker (0xFF followed by anything but a stuffed zero), or `length` when
// the data runs to the end.
std::size_t data_end(const std::uint8_t *data, std::size_t length);

// The `length` bytes at `from` without their stuffed zeros, written to `to`
// (which may be `from`, or memory that does not overlap it); the count written.
std::size_t unstuff(const std::uint8_t *from, std::size_t length, std::uint8_t *to);
inline std::size_t unstuff(std::uint8_t *data, std::size_t length) { return unstuff(data, length, data); }

// Bits of unstuffed data, read through local copies so that they live in
// registers while a scan is walked.
class bit_reader {
public:
    bit_reader(const std::uint8_t *data, std::size_t length) : start_(data), at_(data), end_(data + length) {}

    // Makes sure 56 bits or more are held: a code and its value bits fit.
    void refill() {
        // Below the held bits lie those of the next byte, loaded again
        // here into the same places.
        bits_ |= load_big_endian64(at_) >> held_;
        at_ += (63 - held_) >> 3;
        held_ |= 56;
    }
    std::uint32_t peek16() const { return static_cast<std::uint32_t>(bits_ >> (64 - max_code_length)); }
    void skip(int count) {
        bits_ <<= count;
        held_ -= count;
    }
    // The `count` bits after the first `after`, without consuming them.
    std::uint32_t value_after(int after, int count) const {
        return static_cast<std::uint32_t>(((bits_ << after) >> 32) >> (32 - count));
    }
    // Bits read so far.
    std::ptrdiff_t position() const { return bits_read(); }
    // Reads on from bit `position` of the data.
    void seek(std::ptrdiff_t position) {
        at_ = start_ + position / 8;
        bits_ = 0;
        held_ = 0;
        refill();
        skip(static_cast<int>(position % 8));
    }
    // Whether bits past the data were read.
    bool past_end() const { return bits_read() > data_bits(); }
    // Whether every bit read was data and no more than a byte's padding is left.
    bool ended_within_data() const { return !past_end() && unread_bits() < 8; }
    std::ptrdiff_t unread_bits() const { return data_bits() - bits_read(); }

private:
    std::ptrdiff_t bits_read() const { return 8 * (at_ - start_) - held_; }
    std::ptrdiff_t data_bits() const { return 8 * (end_ - start_); }

    const std::uint8_t *start_;
    const std::uint8_t *at_;
    const std::uint8_t *end_;
    std::uint64_t bits_ = 0;  // the next bit is the highest
    int held_ = 0;
};

// The value of `count` value bits (T.81, F.2.2.1), without a branch the
// data would mispredict.
inline int extend(std::uint32_t bits, int count) {
    const auto value = static_cast<int>(bits);
    const int half = (1 << count) >> 1;
    return value < half ? value - (1 << count) + 1 : value;
}

// A code longer than the lookup table's.
coded_symbol decode_long_code(std::uint32_t next16, const decoding_table &table);

// The next symbol, nothing consumed; 0 where no code matches.
inline coded_symbol decode_symbol(bit_reader &in, const decoding_table &table) {
    in.refill();
    const std::uint32_t next16 = in.peek16();
    const coded_symbol fast = table.fast[next16 >> (max_code_length - fast_bits)];
    return fast != 0 ? fast : decode_long_code(next16, table);
}

}  // namespace huffman
}  // namespace rkconv
