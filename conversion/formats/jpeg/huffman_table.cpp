#include "formats/jpeg/huffman_table.h"

#include <algorithm>

namespace rkconv {
namespace {

constexpr int reserved_symbol = symbol_values;
constexpr int longest_before_folding = 32;

// The symbol with the smallest nonzero count other than `skip`, the larger
// symbol on a tie; -1 when there is none.
int least_counted(const symbol_counts &counts, int skip) {
    int found = -1;
    long least = 0;
    for (int symbol = 0; symbol <= reserved_symbol; ++symbol)
        if (counts[symbol] != 0 && symbol != skip && (found < 0 || counts[symbol] <= least)) {
            least = counts[symbol];
            found = symbol;
        }
    return found;
}

}  // namespace

bool read_table_definition(const std::uint8_t *&at, const std::uint8_t *end, int &kind, int &slot,
                           huffman_table &table) {
    if (end - at < 1 + max_code_length) return false;
    kind = *at >> 4;
    slot = *at & 0x0F;
    if (kind > 1 || slot >= huffman_slots) return false;
    table = huffman_table{};
    for (int length = 1; length <= max_code_length; ++length) {
        table.counts[length] = at[length];
        table.total += at[length];
    }
    at += 1 + max_code_length;
    if (table.total > symbol_values || end - at < table.total) return false;
    std::copy_n(at, table.total, table.symbols);
    at += table.total;
    return true;
}

bool canonical_codes(const huffman_table &table, std::uint16_t (&codes)[symbol_values]) {
    std::uint32_t code = 0;
    int k = 0;
    for (int length = 1; length <= max_code_length; ++length) {
        for (int i = 0; i < table.counts[length]; ++i) codes[k++] = static_cast<std::uint16_t>(code++);
        if (code > (std::uint32_t{1} << length)) return false;
        code <<= 1;
    }
    return true;
}

bool optimal_table(symbol_counts &counts, huffman_table &table) {
    int code_size[symbol_values + 1] = {};
    int next_in_branch[symbol_values + 1];
    for (int &next : next_in_branch) next = -1;
    counts[reserved_symbol] = 1;
    for (;;) {
        int first = least_counted(counts, -1);
        int second = least_counted(counts, first);
        if (second < 0) break;
        counts[first] += counts[second];
        counts[second] = 0;
        ++code_size[first];
        while (next_in_branch[first] >= 0) ++code_size[first = next_in_branch[first]];
        next_in_branch[first] = second;
        ++code_size[second];
        while (next_in_branch[second] >= 0) ++code_size[second = next_in_branch[second]];
    }

    int per_length[longest_before_folding + 1] = {};
    for (int size : code_size) {
        if (size > longest_before_folding) return false;
        if (size != 0) ++per_length[size];
    }
    // Two codes of the longest length go: one takes their prefix's length,
    // a shorter code becomes the prefix of two codes one bit longer.
    for (int length = longest_before_folding; length > max_code_length; --length)
        while (per_length[length] > 0) {
            int prefix = length - 2;
            while (per_length[prefix] == 0) --prefix;
            per_length[length] -= 2;
            ++per_length[length - 1];
            per_length[prefix + 1] += 2;
            --per_length[prefix];
        }
    int longest = max_code_length;
    while (longest > 0 && per_length[longest] == 0) --longest;
    --per_length[longest];  // the reserved symbol's code

    table = huffman_table{};
    for (int length = 1; length <= max_code_length; ++length)
        table.counts[length] = static_cast<std::uint8_t>(per_length[length]);
    for (int size = 1; size <= longest_before_folding; ++size)
        for (int symbol = 0; symbol < symbol_values; ++symbol)
            if (code_size[symbol] == size) table.symbols[table.total++] = static_cast<std::uint8_t>(symbol);
    return true;
}

}  // namespace rkconv
