// A JPEG Huffman table as a DHT segment holds it, its canonical codes, and
// the table built for a scan's symbol counts.
#pragma once

#include <cstddef>
#include <cstdint>

namespace rkconv {

constexpr int max_code_length = 16;
constexpr int symbol_values = 256;
constexpr int huffman_slots = 4;  // tables of each class a DHT segment may name

struct huffman_table {
    std::uint8_t counts[max_code_length + 1] = {};  // counts[n]: codes of n bits; counts[0] unused
    std::uint8_t symbols[symbol_values] = {};       // in code order
    int total = 0;
};

// The next table of a DHT segment's payload from `at`, and `at` moved past
// it: its class (0 for DC, 1 for AC) and slot; false for one that runs past
// `end` or names no class or slot there is.
bool read_table_definition(const std::uint8_t *&at, const std::uint8_t *end, int &kind, int &slot,
                           huffman_table &table);

// The code of each entry of `table.symbols` (T.81, C.2); false when the
// counts overflow the code space.
bool canonical_codes(const huffman_table &table, std::uint16_t (&codes)[symbol_values]);

// Symbol counts of a scan, one more slot for the reserved code.
using symbol_counts = long[symbol_values + 1];

// T.81, K.2, as libjpeg's optimize_coding builds its tables: Huffman's
// procedure with a pseudo-symbol that keeps the code of all ones unused,
// ties broken towards the larger symbol, lengths over 16 folded back,
// symbols listed by length then value. False for counts so skewed that a
// code would pass 32 bits before folding. `counts` is used up.
bool optimal_table(symbol_counts &counts, huffman_table &table);

}  // namespace rkconv
