#include "formats/jpeg/progressive_decoding.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <iterator>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "formats/jpeg/huffman_decoding.h"
#include "formats/jpeg/jpeg_markers.h"
#include "formats/jpeg/jpeg_room.h"

namespace rkconv {

using namespace huffman;

namespace {

constexpr int block_side = 8;
constexpr int max_components = 4;
constexpr int last_coefficient = block_coefficients - 1;
constexpr int max_point_transform = 13;
constexpr int never_coded = -1;
// Far past any DC of valid data; hostile data could otherwise overflow the sum.
constexpr int largest_dc = 1 << 16;
// Each scan keeps the tables it was coded with; no real file defines
// anywhere near this many.
constexpr std::size_t max_tables = std::size_t{4} * max_jpeg_scans;
// From this size the first component's AC scans, most of the work, are
// decoded on a thread of their own beside the other scans.
constexpr std::uint64_t split_pixels = std::uint64_t{1} << 20;

struct scan_header {
    int count = 0;
    int component[max_components] = {};  // in the frame's order
    int dc_slot[max_components] = {};
    int ac_slot[max_components] = {};
    int first = 0;  // the spectral selection
    int last = 0;
    int high = 0;  // the successive approximation: bits sent before, and the point transform
    int low = 0;
};

// A scan as found in the file: its header, its entropy-coded data, and the
// tables it is decoded with as they stood when it began.
struct planned_scan {
    scan_header header;
    const std::uint8_t *data = nullptr;
    std::size_t length = 0;
    const decoding_table *dc[max_components] = {};
    const decoding_table *ac = nullptr;
    // Scans of DCs only write the DCs, AC scans only their component's
    // blocks: those of the first component form a chain of their own.
    bool first_components_ac() const { return header.first != 0 && header.component[0] == 0; }
};

std::size_t divide_up(std::size_t value, std::size_t by) { return (value + by - 1) / by; }

}  // namespace

huffman_table libjpeg_table(const JHUFF_TBL &libjpeg) {
    huffman_table table;
    for (int length = 1; length <= max_code_length; ++length) {
        table.counts[length] = libjpeg.bits[length];
        table.total += libjpeg.bits[length];
    }
    std::copy_n(libjpeg.huffval, std::min(table.total, symbol_values), table.symbols);
    return table;
}

class progressive_reader {
public:
    progressive_reader(const jpeg_decompress_struct &cinfo, progressive_coefficients &out) : cinfo_(cinfo), out_(out) {}

    bool read(const std::uint8_t *rest, std::size_t length);

private:
    bool lay_out_blocks();
    bool take_tables_from_libjpeg();
    bool define_tables(const std::uint8_t *at, const std::uint8_t *end);
    bool first_scan(scan_header &scan) const;
    bool parse_scan(const std::uint8_t *at, std::size_t length, scan_header &scan) const;
    bool follows_progression(const scan_header &scan);
    // Every scan's place and tables, up to the end of the image.
    bool plan(const std::uint8_t *rest, std::size_t length);
    bool decode_planned();
    // The scans for which `chosen` holds, in order, with zeroed blocks from
    // `first_block` to `end_block`; false once one fails or `failed` is set.
    template <typename choice>
    bool decode_chain(choice &&chosen, std::size_t first_block, std::size_t end_block, std::uint8_t *scratch,
                      const std::atomic<bool> &failed) const;
    bool decode_scan(const planned_scan &scan, std::uint8_t *scratch) const;
    // Each kind of scan, read on from `source`.
    bool dc_first(const planned_scan &scan, bit_reader &source) const;
    bool dc_refinement(const planned_scan &scan, bit_reader &source) const;
    bool ac_first(const planned_scan &scan, bit_reader &source) const;
    bool ac_refinement(const planned_scan &scan, bit_reader &source) const;

    // Every block of the scan in its order, `decode` given the index of its
    // component in the scan and where the block is; false once one is not
    // decoded or the data ran out.
    template <typename decode_block>
    bool for_each_block(const scan_header &scan, const bit_reader &in, decode_block &&decode) const;
    std::int16_t *coefficients_of(std::size_t block) const {
        return out_.blocks_ + block * progressive_coefficients::block_values;
    }

    const jpeg_decompress_struct &cinfo_;
    progressive_coefficients &out_;
    std::vector<std::unique_ptr<decoding_table>> tables_;  // every table defined, in order
    const decoding_table *current_[2][huffman_slots] = {};
    int coded_bits_[max_components][block_coefficients] = {};  // the point transform each coefficient was last sent with
    std::vector<planned_scan> scans_;
    std::size_t longest_scan_ = 0;
    std::size_t total_blocks_ = 0;
    std::size_t mcus_across_ = 0;
    std::size_t mcu_rows_ = 0;
    std::size_t width_in_blocks_[max_components] = {};  // what a scan of the component alone codes
    std::size_t height_in_blocks_[max_components] = {};
};

bool progressive_reader::lay_out_blocks() {
    const int components = cinfo_.num_components;
    if (components < 1 || components > max_components) return false;
    const bool lone = components == 1;
    const auto widest = std::size_t(lone ? 1 : cinfo_.max_h_samp_factor);
    const auto tallest = std::size_t(lone ? 1 : cinfo_.max_v_samp_factor);
    const std::size_t width = cinfo_.image_width;
    const std::size_t height = cinfo_.image_height;
    mcus_across_ = divide_up(width, block_side * widest);
    mcu_rows_ = divide_up(height, block_side * tallest);
    std::size_t total = 0;
    for (int c = 0; c < components; ++c) {
        const jpeg_component_info &info = cinfo_.comp_info[c];
        const auto across = std::size_t(lone ? 1 : info.h_samp_factor);
        const auto down = std::size_t(lone ? 1 : info.v_samp_factor);
        width_in_blocks_[c] = divide_up(divide_up(width * across, widest), block_side);
        height_in_blocks_[c] = divide_up(divide_up(height * down, tallest), block_side);
        out_.offset_[c] = total;
        out_.blocks_across_[c] = mcus_across_ * across;
        total += mcus_across_ * across * mcu_rows_ * down;
    }
    // Zeroed by the chains of scans that fill them.
    constexpr std::size_t block_bytes = progressive_coefficients::block_values * sizeof(std::int16_t);
    total_blocks_ = total;
    if (total > std::size_t(-1) / block_bytes) return false;
    out_.memory_.reset(allocate_block(total * block_bytes));
    out_.blocks_ = reinterpret_cast<std::int16_t *>(out_.memory_.get());
    out_.dc_memory_.reset(allocate_zeroed_block(total, sizeof(std::int16_t)));
    out_.dcs_ = reinterpret_cast<std::int16_t *>(out_.dc_memory_.get());
    return out_.blocks_ != nullptr && out_.dcs_ != nullptr;
}

bool progressive_reader::take_tables_from_libjpeg() {
    const JHUFF_TBL *const *libjpeg[2] = {cinfo_.dc_huff_tbl_ptrs, cinfo_.ac_huff_tbl_ptrs};
    for (int kind : {dc, ac})
        for (int slot = 0; slot < huffman_slots; ++slot) {
            if (libjpeg[kind][slot] == nullptr) continue;
            tables_.push_back(std::make_unique<decoding_table>());
            if (!build_decoding(libjpeg_table(*libjpeg[kind][slot]), kind, *tables_.back())) return false;
            current_[kind][slot] = tables_.back().get();
        }
    return true;
}

bool progressive_reader::define_tables(const std::uint8_t *at, const std::uint8_t *end) {
    while (at < end) {
        int kind = dc;
        int slot = 0;
        huffman_table table;
        if (tables_.size() >= max_tables || !read_table_definition(at, end, kind, slot, table)) return false;
        tables_.push_back(std::make_unique<decoding_table>());
        if (!build_decoding(table, kind, *tables_.back())) return false;
        current_[kind][slot] = tables_.back().get();
    }
    return true;
}

bool progressive_reader::first_scan(scan_header &scan) const {
    scan.count = cinfo_.comps_in_scan;
    if (scan.count < 1 || scan.count > max_components) return false;
    for (int i = 0; i < scan.count; ++i) {
        const jpeg_component_info &info = *cinfo_.cur_comp_info[i];
        scan.component[i] = info.component_index;
        scan.dc_slot[i] = info.dc_tbl_no;
        scan.ac_slot[i] = info.ac_tbl_no;
    }
    scan.first = cinfo_.Ss;
    scan.last = cinfo_.Se;
    scan.high = cinfo_.Ah;
    scan.low = cinfo_.Al;
    return true;
}

bool progressive_reader::parse_scan(const std::uint8_t *at, std::size_t length, scan_header &scan) const {
    if (length < 1) return false;
    scan.count = at[0];
    if (scan.count < 1 || scan.count > max_components || length != 4 + 2 * std::size_t(scan.count)) return false;
    for (int i = 0; i < scan.count; ++i) {
        const std::uint8_t *selector = at + 1 + std::ptrdiff_t{2} * i;
        int index = 0;
        while (index < cinfo_.num_components && cinfo_.comp_info[index].component_id != selector[0]) ++index;
        if (index == cinfo_.num_components || std::find(scan.component, scan.component + i, index) != scan.component + i)
            return false;
        scan.component[i] = index;
        scan.dc_slot[i] = selector[1] >> 4;
        scan.ac_slot[i] = selector[1] & 0x0F;
    }
    const std::uint8_t *selection = at + 1 + std::ptrdiff_t{2} * scan.count;
    scan.first = selection[0];
    scan.last = selection[1];
    scan.high = selection[2] >> 4;
    scan.low = selection[2] & 0x0F;
    return true;
}

// libjpeg's rules for a progressive scan, and the coefficients' history
// that it only warns of breaking.
bool progressive_reader::follows_progression(const scan_header &scan) {
    const bool dc_band = scan.first == 0;
    if (dc_band ? scan.last != 0 : scan.first > scan.last || scan.last > last_coefficient || scan.count != 1)
        return false;
    if ((scan.high != 0 && scan.low != scan.high - 1) || scan.low > max_point_transform) return false;
    int blocks_per_mcu = 0;
    for (int i = 0; i < scan.count; ++i) {
        const int c = scan.component[i];
        const jpeg_component_info &info = cinfo_.comp_info[c];
        blocks_per_mcu += scan.count == 1 ? 1 : info.h_samp_factor * info.v_samp_factor;
        const bool needs_dc = dc_band && scan.high == 0;
        const bool needs_ac = !dc_band;
        if ((needs_dc && (scan.dc_slot[i] >= huffman_slots || current_[dc][scan.dc_slot[i]] == nullptr)) ||
            (needs_ac && (scan.ac_slot[i] >= huffman_slots || current_[ac][scan.ac_slot[i]] == nullptr)))
            return false;
        int *bits = coded_bits_[c];
        if (!dc_band && bits[0] == never_coded) return false;
        for (int k = scan.first; k <= scan.last; ++k) {
            if (scan.high != (bits[k] == never_coded ? 0 : bits[k])) return false;
            bits[k] = scan.low;
        }
    }
    return blocks_per_mcu <= max_blocks_per_mcu;
}

template <typename decode_block>
bool progressive_reader::for_each_block(const scan_header &scan, const bit_reader &in, decode_block &&decode) const {
    if (scan.count == 1) {
        const int c = scan.component[0];
        for (std::size_t row = 0; row < height_in_blocks_[c]; ++row)
            for (std::size_t column = 0; column < width_in_blocks_[c]; ++column)
                if (!decode(0, out_.block_index(c, row, column)) || in.past_end()) return false;
        return true;
    }
    const bool lone = cinfo_.num_components == 1;
    for (std::size_t mcu_row = 0; mcu_row < mcu_rows_; ++mcu_row)
        for (std::size_t mcu = 0; mcu < mcus_across_; ++mcu) {
            for (int i = 0; i < scan.count; ++i) {
                const int c = scan.component[i];
                const auto across = std::size_t(lone ? 1 : cinfo_.comp_info[c].h_samp_factor);
                const auto down = std::size_t(lone ? 1 : cinfo_.comp_info[c].v_samp_factor);
                for (std::size_t y = 0; y < down; ++y)
                    for (std::size_t x = 0; x < across; ++x)
                        if (!decode(i, out_.block_index(c, mcu_row * down + y, mcu * across + x))) return false;
            }
            if (in.past_end()) return false;
        }
    return true;
}

bool progressive_reader::dc_first(const planned_scan &planned, bit_reader &source) const {
    const scan_header &scan = planned.header;
    bit_reader in = source;  // in registers through the loop
    int predictors[max_components] = {};
    const decoding_table *const *tables = planned.dc;
    const int low = scan.low;
    std::int16_t *dcs = out_.dcs_;
    const bool decoded = for_each_block(scan, in, [&](int i, std::size_t block) __attribute__((always_inline)) {
        const coded_symbol coded = decode_symbol(in, *tables[i]);
        if (coded == 0) return false;
        const int length = code_length_of(coded);
        const int bits = value_bits_of(coded);
        predictors[i] += extend(in.value_after(length, bits), bits);
        in.skip(length + bits);
        if (predictors[i] > largest_dc || predictors[i] < -largest_dc) return false;
        // As libjpeg, the coefficient keeps the low 16 bits.
        dcs[block] = static_cast<std::int16_t>(static_cast<std::uint32_t>(predictors[i]) << low);
        return true;
    });
    source = in;
    return decoded;
}

bool progressive_reader::dc_refinement(const planned_scan &planned, bit_reader &source) const {
    const scan_header &scan = planned.header;
    bit_reader in = source;  // in registers through the loop
    const auto bit = static_cast<std::int16_t>(1 << scan.low);
    std::int16_t *dcs = out_.dcs_;
    const bool decoded = for_each_block(scan, in, [&](int, std::size_t block) __attribute__((always_inline)) {
        in.refill();
        if (in.value_after(0, 1) != 0) dcs[block] = static_cast<std::int16_t>(dcs[block] | bit);
        in.skip(1);
        return true;
    });
    source = in;
    return decoded;
}

bool progressive_reader::ac_first(const planned_scan &planned, bit_reader &source) const {
    const scan_header &scan = planned.header;
    bit_reader in = source;  // in registers through the loop
    const decoding_table &table = *planned.ac;
    const int first = scan.first;
    const int last = scan.last;
    const int low = scan.low;
    std::uint32_t blocks_to_skip = 0;  // the end-of-band run
    const bool decoded = for_each_block(scan, in, [&](int, std::size_t index) __attribute__((always_inline)) {
        std::int16_t *block = coefficients_of(index);
        if (blocks_to_skip > 0) {
            --blocks_to_skip;
            return true;
        }
        for (int k = first; k <= last; ++k) {
            const coded_symbol coded = decode_symbol(in, table);
            if (coded == 0) return false;
            const int length = code_length_of(coded);
            const int run = symbol_of(coded) >> 4;
            const int size = symbol_of(coded) & 0x0F;
            if (size != 0) {
                k += run;
                if (k > last) return false;
                const int value = extend(in.value_after(length, size), size);
                in.skip(length + size);
                block[k] = static_cast<std::int16_t>(static_cast<std::uint32_t>(value) << low);
            } else if (run == zero_run) {
                in.skip(length);
                k += zero_run;
            } else {
                blocks_to_skip = (1U << run) + in.value_after(length, run) - 1;
                in.skip(length + run);
                break;
            }
        }
        return true;
    });
    source = in;
    return decoded;
}

// T.81, G.1.2.3: each coefficient already non-zero in the band takes a
// correction bit; a coefficient that becomes non-zero comes with its sign,
// after a run of zeros that counts only those still zero. Both are found
// from masks of the block's non-zero coefficients rather than one by one.
bool progressive_reader::ac_refinement(const planned_scan &planned, bit_reader &source) const {
    const scan_header &scan = planned.header;
    bit_reader in = source;  // in registers through the loop
    const decoding_table &table = *planned.ac;
    const int positive = 1 << scan.low;
    const std::uint64_t band = (~std::uint64_t{0} >> (last_coefficient - scan.last)) & (~std::uint64_t{0} << scan.first);
    std::uint32_t blocks_to_skip = 0;
    const bool decoded = for_each_block(scan, in, [&](int, std::size_t index) __attribute__((always_inline)) {
        std::int16_t *block = coefficients_of(index);
        // The band's coefficients not yet passed, by whether they are zero.
        std::uint64_t non_zero_left = non_zero_coefficients(block) & band;
        std::uint64_t zeros_left = ~non_zero_left & band;
        const auto correct_before = [&](std::uint64_t passed) {
            for (std::uint64_t left = non_zero_left & passed; left != 0; left &= left - 1) {
                std::int16_t &coefficient = block[__builtin_ctzll(left)];
                in.refill();
                if (in.value_after(0, 1) != 0 && (coefficient & positive) == 0)
                    coefficient = static_cast<std::int16_t>(coefficient + (coefficient >= 0 ? positive : -positive));
                in.skip(1);
            }
            non_zero_left &= ~passed;
            zeros_left &= ~passed;
        };
        while (blocks_to_skip == 0 && (non_zero_left | zeros_left) != 0) {
            const coded_symbol coded = decode_symbol(in, table);
            if (coded == 0) return false;
            const int run = symbol_of(coded) >> 4;
            const int size = symbol_of(coded) & 0x0F;
            in.skip(code_length_of(coded));
            int value = 0;
            if (size == 1) {
                value = in.value_after(0, 1) != 0 ? positive : -positive;
                in.skip(1);
            } else if (size != 0) {
                return false;
            } else if (run != zero_run) {
                blocks_to_skip = (1U << run) + in.value_after(0, run);
                in.skip(run);
                break;
            }
            // The coefficient after `run` zeros (the 16th zero of a run of 16).
            std::uint64_t zeros = zeros_left;
            for (int passed = 0; passed < run && zeros != 0; ++passed) zeros &= zeros - 1;
            if (zeros == 0) {
                correct_before(~std::uint64_t{0});
                if (value != 0) return false;
                break;
            }
            const std::uint64_t reached = zeros & (0 - zeros);
            correct_before(reached - 1);
            zeros_left &= ~reached;
            if (value != 0) block[__builtin_ctzll(reached)] = static_cast<std::int16_t>(value);
        }
        if (blocks_to_skip > 0) {
            correct_before(~std::uint64_t{0});
            --blocks_to_skip;
        }
        return true;
    });
    source = in;
    return decoded;
}

bool progressive_reader::decode_scan(const planned_scan &scan, std::uint8_t *scratch) const {
    const std::size_t data_length = unstuff(scan.data, scan.length, scratch);
    std::memset(scratch + data_length, 0, lookahead_room);
    bit_reader in(scratch, data_length);
    const bool dc_band = scan.header.first == 0;
    bool decoded = false;
    if (dc_band)
        decoded = scan.header.high == 0 ? dc_first(scan, in) : dc_refinement(scan, in);
    else
        decoded = scan.header.high == 0 ? ac_first(scan, in) : ac_refinement(scan, in);
    // Bytes left over are libjpeg's to warn of.
    return decoded && in.ended_within_data();
}

bool progressive_reader::plan(const std::uint8_t *rest, std::size_t length) {
    scan_header scan;
    if (!first_scan(scan)) return false;
    std::size_t at = 0;
    for (int scans = 1;; ++scans) {
        if (scans > max_jpeg_scans || !follows_progression(scan)) return false;
        planned_scan planned;
        planned.header = scan;
        planned.data = rest + at;
        planned.length = data_end(rest + at, length - at);
        for (int i = 0; i < scan.count; ++i)
            if (scan.dc_slot[i] < huffman_slots) planned.dc[i] = current_[dc][scan.dc_slot[i]];
        if (scan.ac_slot[0] < huffman_slots) planned.ac = current_[ac][scan.ac_slot[0]];
        scans_.push_back(planned);
        longest_scan_ = std::max(longest_scan_, planned.length);
        // The segments up to the next scan, or the end of the image.
        for (at += planned.length;;) {
            while (at + 1 < length && rest[at] == marker_prefix && rest[at + 1] == marker_prefix) ++at;  // fill bytes
            if (at + 1 >= length || rest[at] != marker_prefix) return false;
            const std::uint8_t marker = rest[at + 1];
            if (marker == end_of_image) return true;
            at += 2;
            if (length - at < 2) return false;
            const std::size_t segment = big_endian16(rest + at);
            if (segment < 2 || segment > length - at) return false;
            const std::uint8_t *payload = rest + at + 2;
            const std::size_t payload_length = segment - 2;
            at += segment;
            if (marker == start_of_scan) {
                if (!parse_scan(payload, payload_length, scan)) return false;
                break;
            }
            if (marker == define_huffman_tables) {
                if (!define_tables(payload, payload + payload_length)) return false;
            } else if (marker == define_restart_interval) {
                if (!without_restarts(payload, payload_length)) return false;
            } else if (marker != comment && (marker < first_application || marker > last_application)) {
                return false;
            }
        }
    }
}

template <typename choice>
bool progressive_reader::decode_chain(choice &&chosen, std::size_t first_block, std::size_t end_block,
                                      std::uint8_t *scratch, const std::atomic<bool> &failed) const {
    constexpr std::size_t block_bytes = progressive_coefficients::block_values * sizeof(std::int16_t);
    std::memset(coefficients_of(first_block), 0, (end_block - first_block) * block_bytes);
    for (const planned_scan &scan : scans_)
        if (chosen(scan) && (failed.load(std::memory_order_relaxed) || !decode_scan(scan, scratch))) return false;
    return true;
}

bool progressive_reader::decode_planned() {
    const std::size_t scratch_bytes = longest_scan_ + lookahead_room;
    const bool large = std::uint64_t{cinfo_.image_width} * cinfo_.image_height >= split_pixels;
    const bool split = large && cinfo_.num_components > 1 &&
                       std::any_of(scans_.begin(), scans_.end(), [](const planned_scan &s) { return s.first_components_ac(); });
    owned_block scratch(allocate_block(split ? 2 * scratch_bytes : scratch_bytes));
    if (!scratch) return false;
    const auto everything = [](const planned_scan &) { return true; };
    std::atomic<bool> failed{false};
    if (!split) return decode_chain(everything, 0, total_blocks_, scratch.get(), failed);
    // The first component's blocks come first.
    const std::size_t first_components_end = out_.offset_[1];
    std::thread worker;
    try {
        worker = std::thread([&] {
            if (!decode_chain([](const planned_scan &s) { return s.first_components_ac(); }, 0, first_components_end,
                              scratch.get() + scratch_bytes, failed))
                failed = true;
        });
    } catch (const std::system_error &) {
        return decode_chain(everything, 0, total_blocks_, scratch.get(), failed);
    }
    if (!decode_chain([](const planned_scan &s) { return !s.first_components_ac(); }, first_components_end,
                      total_blocks_, scratch.get(), failed))
        failed = true;
    worker.join();
    return !failed;
}

bool progressive_reader::read(const std::uint8_t *rest, std::size_t length) {
    for (auto &component_bits : coded_bits_) std::fill(std::begin(component_bits), std::end(component_bits), never_coded);
    try {
        return lay_out_blocks() && take_tables_from_libjpeg() && plan(rest, length) && decode_planned();
    } catch (const std::bad_alloc &) {
        return false;
    }
}

std::unique_ptr<progressive_coefficients> progressive_coefficients::decode(const jpeg_decompress_struct &cinfo,
                                                                           const std::uint8_t *rest,
                                                                           std::size_t length) {
    std::unique_ptr<progressive_coefficients> coefficients(new (std::nothrow) progressive_coefficients);
    if (!coefficients) return nullptr;
    std::unique_ptr<progressive_reader> reader(new (std::nothrow) progressive_reader(cinfo, *coefficients));
    if (!reader || !reader->read(rest, length)) return nullptr;
    return coefficients;
}

}  // namespace rkconv
