#include "formats/jpeg/huffman_decoding.h"

#include <algorithm>
#include <iterator>

namespace rkconv {
namespace huffman {

bool build_decoding(const huffman_table &table, int kind, decoding_table &decoding) {
    std::uint16_t codes[symbol_values] = {};
    if (!canonical_codes(table, codes)) return false;
    decoding = decoding_table{};  // a table defined again leaves nothing of the one before
    std::copy(std::begin(table.symbols), std::end(table.symbols), decoding.symbols);
    decoding.kind = kind;
    int k = 0;
    for (int length = 1; length <= max_code_length; ++length) {
        const int count = table.counts[length];
        decoding.last_code[length] = count == 0 ? -1 : codes[k + count - 1];
        decoding.first_index[length] = count == 0 ? 0 : k - codes[k];
        for (int i = k; i < k + count; ++i) {
            const int symbol = table.symbols[i];
            if (value_bits_after(kind, symbol) > max_value_bits) return false;
            if (length > fast_bits) continue;
            const int spread = fast_bits - length;
            std::fill_n(decoding.fast + (codes[i] << spread), 1 << spread,
                        pack(symbol, length, value_bits_after(kind, symbol)));
        }
        k += count;
    }
    return true;
}

std::size_t data_end(const std::uint8_t *data, std::size_t length) {
    const std::uint8_t *end = data + length;
    for (const std::uint8_t *at = data; at < end;) {
        const auto *marker = static_cast<const std::uint8_t *>(std::memchr(at, marker_prefix, std::size_t(end - at)));
        if (marker == nullptr || marker + 1 == end) break;
        if (marker[1] != 0) return std::size_t(marker - data);
        at = marker + 2;
    }
    return length;
}

std::size_t unstuff(const std::uint8_t *from, std::size_t length, std::uint8_t *to) {
    std::uint8_t *const start = to;
    const std::uint8_t *end = from + length;
    while (from < end) {
        const auto *marker = static_cast<const std::uint8_t *>(std::memchr(from, marker_prefix, std::size_t(end - from)));
        const std::uint8_t *run_end = marker != nullptr ? marker + 1 : end;
        std::memmove(to, from, std::size_t(run_end - from));
        to += run_end - from;
        from = run_end + (marker != nullptr ? 1 : 0);  // past the stuffed zero
    }
    return std::size_t(to - start);
}

coded_symbol decode_long_code(std::uint32_t next16, const decoding_table &table) {
    for (int length = fast_bits + 1; length <= max_code_length; ++length) {
        const auto code = static_cast<std::int32_t>(next16 >> (max_code_length - length));
        if (code <= table.last_code[length]) {
            const int symbol = table.symbols[table.first_index[length] + code];
            return pack(symbol, length, value_bits_after(table.kind, symbol));
        }
    }
    return 0;
}

}  // namespace huffman
}  // namespace rkconv
