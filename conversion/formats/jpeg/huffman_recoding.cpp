#include "formats/jpeg/huffman_recoding.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "formats/jpeg/huffman_decoding.h"
#include "formats/jpeg/jpeg_markers.h"
#include "formats/jpeg/huffman_table.h"
#include "large_block.h"

namespace rkconv {
namespace {

using namespace huffman;

constexpr int table_slots = huffman_slots;
constexpr int table_kinds = 2;
constexpr int max_components = 4;
constexpr int max_sampling = 4;
constexpr int block_side = 8;
constexpr std::size_t output_chunk = std::size_t{1} << 16;
constexpr std::size_t expected_symbols_per_byte = 2;  // codes and values average about 4.5 bits
// No more than libjpeg's coefficient buffer at 4:2:0; a photo at quality 80
// needs under one.
constexpr std::size_t kept_symbol_bytes_per_pixel = 3;

constexpr std::uint8_t baseline_frame = 0xC0;
constexpr std::uint8_t extended_frame = 0xC1;
constexpr std::uint8_t last_frame = 0xCF;
constexpr std::uint8_t define_arithmetic_conditioning = 0xCC;
constexpr std::uint8_t reserved_jpg = 0xC8;

// A symbol's code shifted to make room for its value bits, and the count
// of both, by table and symbol as symbol_store packs them.
struct coding_entry {
    std::uint32_t shifted_code = 0;
    int total_bits = 0;
};

// The entries of a built table's symbols, at entries[symbol].
void build_coding(const huffman_table &table, int kind, coding_entry *entries) {
    std::uint16_t codes[symbol_values] = {};
    canonical_codes(table, codes);
    int k = 0;
    for (int length = 1; length <= max_code_length; ++length)
        for (int i = 0; i < table.counts[length]; ++i, ++k) {
            const int symbol = table.symbols[k];
            const int value_bits = value_bits_after(kind, symbol);
            entries[symbol] = {std::uint32_t{codes[k]} << value_bits, length + value_bits};
        }
}

bool has_marker_byte(std::uint64_t word) {
    constexpr std::uint64_t ones = 0x0101010101010101;
    constexpr std::uint64_t highs = 0x8080808080808080;
    const std::uint64_t inverted = ~word;
    return ((inverted - ones) & ~inverted & highs) != 0;  // a byte of ~word is zero
}

// Codes going out, eight bytes at a time, a zero stuffed after each 0xFF,
// the last byte padded with ones as libjpeg pads it.
class bit_writer {
public:
    explicit bit_writer(byte_sink &sink)
        : sink_(sink), bytes_(new std::uint8_t[output_chunk + 2 * sizeof(std::uint64_t)]) {}

    // At most 31 bits: a code and its value bits.
    void put(std::uint32_t value, int count) {
        if (count <= free_) {
            bits_ = (bits_ << count) | value;
            free_ -= count;
            return;
        }
        const int rest = count - free_;
        emit_word((bits_ << free_) | (value >> rest));
        bits_ = value;
        free_ = 64 - rest;
    }
    bool finish() {
        const int padding = (8 - (64 - free_) % 8) % 8;
        put((1U << padding) - 1, padding);
        for (int held = 64 - free_; held > 0; held -= 8) emit_byte(static_cast<std::uint8_t>(bits_ >> (held - 8)));
        free_ = 64;
        flush_bytes();
        return ok_;
    }

private:
    void emit_word(std::uint64_t word) {
        if (has_marker_byte(word)) {
            for (int shift = 56; shift >= 0; shift -= 8) emit_byte(static_cast<std::uint8_t>(word >> shift));
        } else {
            const std::uint64_t stored = __builtin_bswap64(word);
            std::memcpy(bytes_.get() + used_, &stored, sizeof stored);
            used_ += sizeof stored;
        }
        if (used_ >= output_chunk) flush_bytes();
    }
    void emit_byte(std::uint8_t byte) {
        bytes_[used_++] = byte;
        if (byte == marker_prefix) bytes_[used_++] = 0;
    }
    void flush_bytes() {
        if (ok_ && used_ != 0) ok_ = sink_.write(bytes_.get(), used_);
        used_ = 0;
    }

    byte_sink &sink_;
    std::unique_ptr<std::uint8_t[]> bytes_;
    std::size_t used_ = 0;
    std::uint64_t bits_ = 0;  // the lowest 64 - free_ bits are pending, the last put lowest
    int free_ = 64;
    bool ok_ = true;
};

struct segment {
    std::size_t start;  // at its marker
    std::size_t end;
    bool defines_tables;
};

struct parsed_jpeg {
    std::vector<segment> segments;  // after SOI, up to and with SOS
    std::size_t data_start = 0;
    std::size_t data_end = 0;  // the end-of-image marker
    huffman_table tables[table_kinds][table_slots];
    bool defined[table_kinds][table_slots] = {};
    // The tables of each block of an MCU, and the number of MCUs.
    int blocks_per_mcu = 0;
    int dc_slot[max_blocks_per_mcu] = {};
    int ac_slot[max_blocks_per_mcu] = {};
    std::uint64_t mcu_count = 0;
    std::size_t pixels = 0;
};

struct frame {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    int components = 0;
    int id[max_components] = {};
    int horizontal[max_components] = {};
    int vertical[max_components] = {};
};


std::uint64_t divide_up(std::uint64_t value, std::uint64_t by) { return (value + by - 1) / by; }

bool parse_tables(const std::uint8_t *at, const std::uint8_t *end, parsed_jpeg &jpeg) {
    while (at < end) {
        int kind = dc;
        int slot = 0;
        huffman_table table;
        if (!read_table_definition(at, end, kind, slot, table)) return false;
        jpeg.tables[kind][slot] = table;
        jpeg.defined[kind][slot] = true;
    }
    return true;
}

bool parse_frame(const std::uint8_t *at, std::size_t length, frame &found) {
    constexpr int sample_bits = 8;
    if (length < 6 || at[0] != sample_bits) return false;
    found.height = big_endian16(at + 1);
    found.width = big_endian16(at + 3);
    found.components = at[5];
    if (found.width == 0 || found.height == 0 || found.components < 1 || found.components > max_components ||
        length != 6 + 3 * std::size_t(found.components))
        return false;
    for (int c = 0; c < found.components; ++c) {
        const std::uint8_t *component = at + 6 + 3 * std::ptrdiff_t(c);
        found.id[c] = component[0];
        found.horizontal[c] = component[1] >> 4;
        found.vertical[c] = component[1] & 0x0F;
        if (found.horizontal[c] < 1 || found.horizontal[c] > max_sampling || found.vertical[c] < 1 ||
            found.vertical[c] > max_sampling)
            return false;
    }
    return true;
}

// The blocks of each MCU and how many MCUs the scan holds (T.81, A.2).
bool parse_scan(const std::uint8_t *at, std::size_t length, const frame &image, parsed_jpeg &jpeg) {
    if (image.components == 0 || length < 1) return false;
    const int in_scan = at[0];
    if (in_scan < 1 || in_scan > image.components || length != 4 + 2 * std::size_t(in_scan)) return false;
    const std::uint8_t *spectral = at + 1 + 2 * std::ptrdiff_t(in_scan);
    if (spectral[0] != 0 || spectral[1] != block_coefficients - 1 || spectral[2] != 0) return false;
    const int widest = *std::max_element(image.horizontal, image.horizontal + image.components);
    const int tallest = *std::max_element(image.vertical, image.vertical + image.components);
    for (int s = 0; s < in_scan; ++s) {
        const int id = at[1 + 2 * s];
        const int dc_slot = at[2 + 2 * s] >> 4;
        const int ac_slot = at[2 + 2 * s] & 0x0F;
        if (dc_slot >= table_slots || ac_slot >= table_slots || !jpeg.defined[dc][dc_slot] ||
            !jpeg.defined[ac][ac_slot])
            return false;
        const int c = static_cast<int>(std::find(image.id, image.id + image.components, id) - image.id);
        if (c == image.components) return false;
        const int blocks = in_scan == 1 ? 1 : image.horizontal[c] * image.vertical[c];
        if (jpeg.blocks_per_mcu + blocks > max_blocks_per_mcu) return false;
        for (int b = 0; b < blocks; ++b, ++jpeg.blocks_per_mcu) {
            jpeg.dc_slot[jpeg.blocks_per_mcu] = dc_slot;
            jpeg.ac_slot[jpeg.blocks_per_mcu] = ac_slot;
        }
        if (in_scan == 1) {
            // A lone component's scan holds its own blocks, not whole MCUs.
            const std::uint64_t width = divide_up(std::uint64_t{image.width} * std::uint64_t(image.horizontal[c]),
                                                  std::uint64_t(widest));
            const std::uint64_t height = divide_up(std::uint64_t{image.height} * std::uint64_t(image.vertical[c]),
                                                   std::uint64_t(tallest));
            jpeg.mcu_count = divide_up(width, block_side) * divide_up(height, block_side);
        }
    }
    if (in_scan > 1)
        jpeg.mcu_count = divide_up(image.width, block_side * std::uint64_t(widest)) *
                         divide_up(image.height, block_side * std::uint64_t(tallest));
    jpeg.pixels = std::size_t{image.width} * image.height;
    return true;
}

bool is_other_frame(std::uint8_t marker) {
    return marker > extended_frame && marker <= last_frame && marker != define_huffman_tables &&
           marker != reserved_jpg && marker != define_arithmetic_conditioning;
}

// The segments up to the scan and where its data ends; false for anything
// but one sequential Huffman scan without restarts followed by the end of
// the image.
bool parse(const std::uint8_t *bytes, std::size_t size, parsed_jpeg &jpeg) {
    if (size < 4 || bytes[0] != marker_prefix || bytes[1] != start_of_image) return false;
    frame image;
    std::size_t at = 2;
    for (;;) {
        if (size - at < 4 || bytes[at] != marker_prefix) return false;
        const std::uint8_t marker = bytes[at + 1];
        const std::size_t length = big_endian16(bytes + at + 2);
        if (length < 2 || size - at - 2 < length) return false;
        const std::uint8_t *payload = bytes + at + 4;
        const std::size_t payload_length = length - 2;
        jpeg.segments.push_back({at, at + 2 + length, marker == define_huffman_tables});
        at += 2 + length;
        if (is_other_frame(marker)) return false;
        if (marker == define_huffman_tables && !parse_tables(payload, payload + payload_length, jpeg)) return false;
        if ((marker == baseline_frame || marker == extended_frame) && !parse_frame(payload, payload_length, image))
            return false;
        if (marker == define_restart_interval && !without_restarts(payload, payload_length)) return false;
        if (marker == start_of_scan) {
            if (!parse_scan(payload, payload_length, image, jpeg)) return false;
            break;
        }
    }
    jpeg.data_start = at;
    jpeg.data_end = at + data_end(bytes + at, size - at);
    return size - jpeg.data_end == 2 && bytes[jpeg.data_end + 1] == end_of_image;
}

struct decoding_tables {
    decoding_table of[table_kinds][table_slots];
};

bool build_decodings(const parsed_jpeg &jpeg, decoding_tables &decoding) {
    for (int kind : {dc, ac})
        for (int slot = 0; slot < table_slots; ++slot)
            if (jpeg.defined[kind][slot] && !build_decoding(jpeg.tables[kind][slot], kind, decoding.of[kind][slot]))
                return false;
    return true;
}

// Walks every symbol of the scan in order; `visit(kind, slot, symbol,
// value, value_bits)` sees each with the value bits after its code (read
// only when `with_values`, else 0).
template <bool with_values, typename Visit>
bool walk_scan(const parsed_jpeg &jpeg, const decoding_tables &decoding, const std::uint8_t *data,
               std::size_t data_length, Visit &&visit) {
    bit_reader in(data, data_length);
    const auto next = [&in](const decoding_table &table, coded_symbol &coded, std::uint32_t &value) {
        coded = decode_symbol(in, table);
        if (coded == 0) return false;
        if (with_values) value = in.value_after(code_length_of(coded), value_bits_of(coded));
        in.skip(code_length_of(coded) + value_bits_of(coded));
        return true;
    };
    coded_symbol coded = 0;
    std::uint32_t value = 0;
    for (std::uint64_t mcu = 0; mcu < jpeg.mcu_count; ++mcu) {
        for (int block = 0; block < jpeg.blocks_per_mcu; ++block) {
            const int dc_slot = jpeg.dc_slot[block];
            const int ac_slot = jpeg.ac_slot[block];
            if (!next(decoding.of[dc][dc_slot], coded, value)) return false;
            visit(dc, dc_slot, symbol_of(coded), value, value_bits_of(coded));
            for (int k = 1; k < block_coefficients;) {
                if (!next(decoding.of[ac][ac_slot], coded, value)) return false;
                const int symbol = symbol_of(coded);
                visit(ac, ac_slot, symbol, value, value_bits_of(coded));
                const int run = symbol >> 4;
                const bool zeros_only = (symbol & 0x0F) == 0;
                if (zeros_only && run != zero_run) break;  // end of block
                k += zeros_only ? zero_run + 1 : run + 1;
                if (k > block_coefficients) return false;
            }
        }
        if (in.past_end()) return false;
    }
    return in.ended_within_data();
}

// The scan's symbols as the first pass reads them, so that the second
// only codes them: each packed as its value bits (low 16), its symbol, and
// its table (kind * table_slots + slot), in huge pages as it is filled at
// once. Past `ceiling` bytes, or without the memory, it lets them go and
// the second pass reads the scan again.
class symbol_store {
public:
    symbol_store(std::size_t expected, std::size_t ceiling) : ceiling_(ceiling) { grow(expected); }

    void push(std::uint32_t packed) {
        if (count_ == capacity_ && !grow(2 * capacity_)) return;
        symbols_.get()[count_++] = packed;
    }
    bool kept() const { return symbols_ != nullptr; }
    const std::uint32_t *begin() const { return symbols_.get(); }
    const std::uint32_t *end() const { return symbols_.get() + count_; }

    static std::uint32_t pack(int kind, int slot, int symbol, std::uint32_t value) {
        return value | static_cast<std::uint32_t>(symbol) << 16 | static_cast<std::uint32_t>(kind * table_slots + slot) << 24;
    }

private:
    bool grow(std::size_t capacity) {
        capacity = std::min(capacity, ceiling_ / sizeof(std::uint32_t));
        auto *grown = capacity > capacity_ ? reinterpret_cast<std::uint32_t *>(
                                                 allocate_huge_paged(capacity * sizeof(std::uint32_t)))
                                           : nullptr;
        if (grown == nullptr) {
            symbols_.reset();
            count_ = capacity_ = 0;
            return false;
        }
        if (count_ != 0) std::memcpy(grown, symbols_.get(), count_ * sizeof(std::uint32_t));
        symbols_.reset(grown);
        capacity_ = capacity;
        return true;
    }

    struct freer {
        void operator()(std::uint32_t *symbols) const noexcept { std::free(symbols); }
    };
    std::size_t ceiling_;
    std::unique_ptr<std::uint32_t, freer> symbols_;
    std::size_t count_ = 0;
    std::size_t capacity_ = 0;
};

bool write_table_segment(const std::uint8_t *bytes, const segment &tables_segment,
                         const huffman_table (&built)[table_kinds][table_slots], byte_sink &sink) {
    std::vector<std::uint8_t> out{marker_prefix, define_huffman_tables, 0, 0};
    const std::uint8_t *at = bytes + tables_segment.start + 4;
    while (at < bytes + tables_segment.end) {
        const std::uint8_t kind_and_slot = *at;
        const huffman_table &table = built[kind_and_slot >> 4][kind_and_slot & 0x0F];
        out.push_back(kind_and_slot);
        out.insert(out.end(), table.counts + 1, table.counts + max_code_length + 1);
        out.insert(out.end(), table.symbols, table.symbols + table.total);
        int old_total = 0;
        for (int length = 1; length <= max_code_length; ++length) old_total += at[length];
        at += 1 + max_code_length + old_total;
    }
    const std::size_t length = out.size() - 2;
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length & 0xFF);
    return sink.write(out.data(), out.size());
}

}  // namespace

recoding write_with_image_tables(growing_block &block, byte_sink &sink) {
    const std::size_t size = block.size();
    auto parsed = std::make_unique<parsed_jpeg>();
    if (!parse(block.data(), size, *parsed)) return recoding::unsupported;
    auto decoding = std::make_unique<decoding_tables>();
    if (!build_decodings(*parsed, *decoding)) return recoding::unsupported;
    // The scan's data, unstuffed where it lies, then the end-of-image
    // marker as it was and zeros for the reader's look-ahead.
    static const std::uint8_t zeros[lookahead_room] = {};
    if (!block.append(zeros, sizeof zeros)) return recoding::out_of_memory;
    const std::uint8_t *jpeg = block.data();
    const std::size_t data_length = unstuff(block.data() + parsed->data_start, parsed->data_end - parsed->data_start);
    const std::uint8_t *data = jpeg + parsed->data_start;

    symbol_counts counts[table_kinds][table_slots] = {};
    bool used[table_kinds][table_slots] = {};
    symbol_store symbols(expected_symbols_per_byte * data_length + 1, kept_symbol_bytes_per_pixel * parsed->pixels);
    const bool whole = walk_scan<true>(*parsed, *decoding, data, data_length,
                                       [&](int kind, int slot, int symbol, std::uint32_t value, int) {
                                           ++counts[kind][slot][symbol];
                                           used[kind][slot] = true;
                                           if (symbols.kept()) symbols.push(symbol_store::pack(kind, slot, symbol, value));
                                       });
    if (!whole) return recoding::unsupported;

    // The tables the scan uses are replaced where they were defined; any
    // other is written as it was.
    auto coding = std::make_unique<coding_entry[]>(std::size_t{table_kinds} * table_slots * symbol_values);
    for (int kind : {dc, ac})
        for (int slot = 0; slot < table_slots; ++slot) {
            if (!used[kind][slot]) continue;
            if (!optimal_table(counts[kind][slot], parsed->tables[kind][slot])) return recoding::unsupported;
            build_coding(parsed->tables[kind][slot], kind,
                         coding.get() + std::ptrdiff_t(kind * table_slots + slot) * symbol_values);
        }

    if (!sink.write(jpeg, 2)) return recoding::sink_failed;
    for (const segment &each : parsed->segments) {
        const bool ok = each.defines_tables ? write_table_segment(jpeg, each, parsed->tables, sink)
                                            : sink.write(jpeg + each.start, each.end - each.start);
        if (!ok) return recoding::sink_failed;
    }
    bit_writer out(sink);
    const auto code = [&](std::uint32_t packed) {
        constexpr std::uint32_t value_mask = 0xFFFF;
        const coding_entry &entry = coding[packed >> 16];
        out.put(entry.shifted_code | (packed & value_mask), entry.total_bits);
    };
    if (symbols.kept()) {
        for (const std::uint32_t packed : symbols) code(packed);
    } else {
        walk_scan<true>(*parsed, *decoding, data, data_length,
                        [&](int kind, int slot, int symbol, std::uint32_t value, int) {
                            code(symbol_store::pack(kind, slot, symbol, value));
                        });
    }
    if (!out.finish()) return recoding::sink_failed;
    if (!sink.write(jpeg + parsed->data_end, size - parsed->data_end)) return recoding::sink_failed;
    return recoding::written;
}

}  // namespace rkconv
