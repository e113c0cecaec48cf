#include "formats/jpeg/reduced_decoding.h"

#include <jerror.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/jpeg/jpeg_markers.h"
#include "vector_clones.h"

namespace rkconv {

using namespace huffman;

namespace {

constexpr int block_side = 8;
constexpr unsigned int half = 2;
constexpr unsigned int quarter = 4;
constexpr unsigned int eighth = 8;
constexpr int largest_area = block_side * block_side;
constexpr int table_slots = NUM_HUFF_TBLS;
constexpr int max_components = 4;
constexpr std::uint8_t mid_grey = 128;
constexpr float cancelled = 1e-4f;  // a pattern's weights this small are rounding left of zero
constexpr int fixed_shift = 6;
constexpr float fixed_unit = 1 << fixed_shift;
constexpr int whole_limit = 32767;
constexpr float fixed_limit = whole_limit;
// Scans this long are split between two threads (photographs of about a
// megapixel and more at quality 90: a 4-megapixel thumbnail took 7.2 ms on
// one, 5.0 on two); a shorter colour one is decoded on the caller's thread
// alone, where starting a thread would cost about what it saves. A short
// greyscale scan of a large image is left to libjpeg's decode running
// ahead of the resize on a second thread: with a third of the data to
// decode, the resize is most of the time, and sharing it pays.
constexpr std::size_t speculation_bytes = std::size_t{128} << 10;
constexpr std::uint64_t large_image_pixels = std::uint64_t{1} << 20;
// The caller's thread also makes every row from the MCUs, so the thread
// decodes a little more than half. No more: a caller that reaches MCUs not
// yet decoded waits for them, and a wakeup on a virtual machine can cost
// more than the decode it saved (a 9-megapixel thumbnail took 18 ms with
// 70 % decoded ahead, 10 with 55 %).
constexpr double share_decoded_ahead = 0.55;
constexpr std::uint64_t records_of_slack = 256;
constexpr std::size_t cache_line = 64;
// The thread decoding ahead hands out its MCUs once this many decoded in a
// row from where it started, then this many at a time (each hand-out is an
// atomic exchange), and gives up after this many false starts.
constexpr std::size_t records_before_handing_out = 32;
constexpr std::size_t records_per_hand_out = 16;
constexpr int max_restarts = 64;
// The longest the thread may make no progress before the caller decodes
// on itself: far more than it takes for a wakeup's worth of MCUs.
constexpr std::chrono::milliseconds stalled_after{1};

// Natural position of each coefficient in zigzag order (T.81, figure A.6).
constexpr std::uint8_t natural_order[block_coefficients] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// An AC code of fast_bits or fewer decoded in one step: the zeros before
// its coefficient (a run past the block for the end of a block) and the
// bits of the code and of the value after it. Four bytes, so the lookup
// on the decode's critical path is one scaled load.
struct fast_ac_entry {
    std::uint8_t run = 0;
    std::uint8_t code_length = 0;  // 0 where the code is longer than the lookup
    std::uint8_t value_bits = 0;
    std::uint8_t unused = 0;
};
constexpr std::uint8_t end_of_block_run = block_coefficients;

void build_fast_ac(const decoding_table &table, fast_ac_entry (&fast)[1 << fast_bits]) {
    for (std::uint32_t index = 0; index < (1U << fast_bits); ++index) {
        const coded_symbol coded = table.fast[index];
        if (coded == 0) continue;
        const int symbol = symbol_of(coded);
        const int size = value_bits_of(coded);
        fast[index].run = size == 0 && symbol >> 4 != zero_run ? end_of_block_run : std::uint8_t(symbol >> 4);
        fast[index].code_length = std::uint8_t(code_length_of(coded));
        fast[index].value_bits = std::uint8_t(size);
    }
}

// The mean, over each of `spans` equal spans of a block's side, of the 1-D
// inverse DCT's basis function of each frequency (T.81, A.3.3).
void span_means(int spans, double (&means)[block_side][block_side]) {
    const double pi = std::acos(-1.0);
    const int width = block_side / spans;
    for (int span = 0; span < spans; ++span)
        for (int frequency = 0; frequency < block_side; ++frequency) {
            double sum = 0;
            for (int x = span * width; x < (span + 1) * width; ++x)
                sum += std::cos((2 * x + 1) * frequency * pi / (2 * block_side));
            const double scale = frequency == 0 ? 1 / std::sqrt(2.0) : 1.0;
            means[span][frequency] = scale / 2 * sum / width;
        }
}

bool is_block_side_fraction(int pixels) { return pixels == 1 || pixels == 2 || pixels == 4 || pixels == 8; }

// The output pixels one block of a component gives across or down: its
// share of the MCU at 1/shrink; 0 where that is not a whole fraction of a block.
int block_output(int most, int own, unsigned int shrink) {
    if (own == 0 || most % own != 0) return 0;
    const int pixels = block_side * (most / own) / static_cast<int>(shrink);
    return block_side * (most / own) % static_cast<int>(shrink) == 0 && is_block_side_fraction(pixels) ? pixels : 0;
}

}  // namespace

using mcu_decoder = bool (*)(bit_reader &in, const reduced_scan::component *components, std::size_t count,
                             std::int16_t *predictors, std::int16_t *block_predictors, std::int16_t *sums);

using block_store = void (*)(const std::int16_t *sums, int dc_part, std::uint8_t *block, std::size_t stride);

// Where one block of an MCU goes, worked out once for the scan rather than
// for every block from its component's layout.
struct block_place {
    block_store store = nullptr;
    std::uint8_t *plane = nullptr;  // its component's plane of one MCU row
    std::size_t mcu_width = 0;      // samples of that plane an MCU spans
    std::size_t offset = 0;         // of its first sample from the MCU's first
    std::ptrdiff_t sums = 0;        // of its sums from the MCU's first
    int dc_step = 0;                // what a unit of DC adds to each of its samples, in 64ths
    std::size_t component = 0;
};

struct reduced_scan::tables {
    decoding_table decoding[2][table_slots];
    fast_ac_entry fast_ac[table_slots][1 << fast_bits];
    mcu_decoder decode_mcu = nullptr;  // suited to the components' block sizes
    block_place places[max_blocks_per_mcu];  // in the order the scan codes the blocks
};

struct reduced_scan::component {
    const decoding_table *dc = nullptr;
    const decoding_table *ac = nullptr;
    const fast_ac_entry *fast_ac = nullptr;
    int index = 0;  // in the frame, which orders the colour planes
    int across = 1;  // output pixels of a block
    int down = 1;
    int blocks_across = 1;  // blocks in an MCU
    int blocks_down = 1;
    // What each coefficient, in zigzag order, adds to each output pixel of
    // its block per unit of its value: dequantised, level shift aside.
    std::vector<float> patterns;
    // 1 for a coefficient whose pattern is not all zeros: the spans' means
    // of most frequencies cancel (at 1/8 every AC one does).
    std::uint8_t contributes[block_coefficients] = {};
    std::uint64_t contributing = 0;  // the same of the AC coefficients, bit k for the k-th
    owned_block plane;  // one MCU row at the output's size
};

namespace {

// MCUs decoded before their rows are wanted: each block's DC and AC sums,
// and where each MCU began with the DC of each component then.
struct mcu_records {
    owned_block memory;  // the four arrays in one block of huge pages
    std::int64_t *starts = nullptr;            // capacity + 1 of them
    std::int16_t *start_predictors = nullptr;  // max_components for each start
    std::int16_t *block_predictors = nullptr;
    std::int16_t *sums = nullptr;
    std::size_t capacity = 0;

    bool allocate(std::size_t records, std::size_t blocks_per_mcu, std::size_t sums_per_mcu) {
        const std::size_t sums_bytes = records * sums_per_mcu * sizeof(std::int16_t);
        const std::size_t starts_bytes = (records + 1) * sizeof(std::int64_t);
        const std::size_t predictor_bytes =
            ((records + 1) * max_components + records * blocks_per_mcu) * sizeof(std::int16_t);
        memory.reset(allocate_huge_paged(sums_bytes + starts_bytes + predictor_bytes));
        if (!memory) return false;
        sums = reinterpret_cast<std::int16_t *>(memory.get());
        starts = reinterpret_cast<std::int64_t *>(memory.get() + sums_bytes);
        start_predictors = reinterpret_cast<std::int16_t *>(memory.get() + sums_bytes + starts_bytes);
        block_predictors = start_predictors + (records + 1) * max_components;
        capacity = records;
        return true;
    }
};

}  // namespace

// A large scan is decoded by two threads: the caller's decodes from the
// start as rows are asked for, a thread of the scan's own decodes the rest
// ahead, starting at a byte part of the way in as if an MCU began there,
// and keeps its MCUs. Huffman codes fall into step with the true ones
// within a few blocks, so once an MCU begins where the caller's decode
// begins one, it is the same MCU from there on, each DC off by what the
// caller's decode had reached there; the caller then takes the kept MCUs
// instead of decoding. The pixels are those of the scan decoded in order.
struct reduced_scan::speculation {  // NOLINT(clang-analyzer-optin.performance.Padding): the padding parts cache lines
    std::ptrdiff_t start_bit = 0;
    mcu_records kept;
    std::thread worker;
    // What the thread writes as it goes on a cache line of its own, and what
    // the caller's side keeps on another, so neither side's every MCU pulls
    // the line from the other's core.
    alignas(cache_line) std::atomic<std::size_t> done{0};  // MCUs kept
    std::atomic<bool> finished{false};
    // How many the caller waits for, so that it is woken once for them and
    // the thread makes no system call otherwise.
    std::atomic<std::size_t> wanted{std::numeric_limits<std::size_t>::max()};
    std::mutex mutex;
    std::condition_variable changed;
    alignas(cache_line) std::atomic<bool> stop{false};

    // On the caller's side: how far its MCU starts were compared, and once
    // they met, which kept MCU is which and the DC offsets.
    alignas(cache_line) std::size_t compared = 0;
    bool checking = true;
    bool met = false;
    std::ptrdiff_t record_of_mcu = 0;
    std::int16_t offsets[max_components] = {};

    ~speculation() { finish(); }
    void finish() {
        stop = true;
        if (worker.joinable()) worker.join();
    }
};

namespace {

// A block's AC sums are kept in 16 bits, in 64ths of a level: half the
// memory of floats for the MCUs decoded ahead, and the same rounding
// whichever thread decoded a block. Past the limits (511 levels) a sample
// clamps whatever its DC, which moves it by no more than 128 in valid data.
std::int16_t to_fixed(float sum) {
    const float scaled = std::min(std::max(sum * fixed_unit, -fixed_limit), fixed_limit);
    return static_cast<std::int16_t>(scaled + (scaled < 0 ? -0.5f : 0.5f));  // to the nearest, halves away from zero
}

// The AC sums of a block from its listed coefficients, four output pixels
// to a vector (GCC's and Clang's vector extension): the compiler left
// these loops scalar. Inlined into the MCU loops like the decode itself.
using four_floats = float __attribute__((vector_size(16)));
using four_ints = std::int32_t __attribute__((vector_size(16)));

template <int area>
__attribute__((always_inline)) inline void sum_listed(const float *patterns, const std::int16_t *values,
                                                      const std::int16_t *positions, int listed, std::int16_t *sums) {
    if constexpr (area < 4) {
        float block_sums[std::size_t{area}] = {};
        for (int i = 0; i < listed; ++i)
            for (int p = 0; p < area; ++p)
                // NOLINTNEXTLINE(clang-analyzer-core.UndefinedBinaryOperatorResult): entries below `listed` are written
                block_sums[p] += float(values[i]) * patterns[std::ptrdiff_t(positions[i]) * area + p];
        for (int p = 0; p < area; ++p) sums[p] = to_fixed(block_sums[p]);
    } else {
        constexpr int vectors = area / 4;
        four_floats block_sums[std::size_t{vectors}] = {};
        for (int i = 0; i < listed; ++i) {
            const float value = values[i];  // NOLINT(clang-analyzer-core.uninitialized.Assign): written below `listed`
            const float *pattern = patterns + std::ptrdiff_t(positions[i]) * area;
            for (int v = 0; v < vectors; ++v) {
                four_floats weights;
                std::memcpy(&weights, pattern + std::ptrdiff_t{4} * v, sizeof weights);
                block_sums[v] += value * weights;
            }
        }
        const four_floats low = {-fixed_limit, -fixed_limit, -fixed_limit, -fixed_limit};
        const four_floats high = {fixed_limit, fixed_limit, fixed_limit, fixed_limit};
        for (int v = 0; v < vectors; ++v) {
            four_floats scaled = block_sums[v] * fixed_unit;
            scaled = scaled < low ? low : scaled;
            scaled = scaled > high ? high : scaled;
            scaled += scaled < 0 ? -0.5f : 0.5f;  // to the nearest, halves away from zero, as to_fixed
            const four_ints whole = __builtin_convertvector(scaled, four_ints);
            for (int lane = 0; lane < 4; ++lane) sums[4 * v + lane] = static_cast<std::int16_t>(whole[lane]);
        }
    }
}

// Decodes one block's AC sums into `sums` (its output pixels less the
// level shift and its DC, which is added when it is stored) and moves its
// DC predictor on; false for a code no table has. Inlined into loops over
// whole MCUs whose reader is a local copy, so that it stays in registers.
// The coefficients are listed as they are decoded and summed after, so the
// decode's chain of dependent loads does not wait on the sums.
template <int area>
__attribute__((always_inline)) inline bool decode_block(bit_reader &in, const reduced_scan::component &c,
                                                        std::int16_t &predictor_of_block, std::int16_t *sums) {
    const coded_symbol coded_dc = decode_symbol(in, *c.dc);
    if (coded_dc == 0) return false;
    const int dc_length = code_length_of(coded_dc);
    const int dc_bits = value_bits_of(coded_dc);
    const int difference = extend(in.value_after(dc_length, dc_bits), dc_bits);
    in.skip(dc_length + dc_bits);
    // libjpeg keeps coefficients in 16 bits; corrupt data may wrap them.
    predictor_of_block = static_cast<std::int16_t>(static_cast<std::uint32_t>(predictor_of_block) +
                                                   static_cast<std::uint32_t>(difference));
    const fast_ac_entry *fast_ac = c.fast_ac;
    const decoding_table &ac_table = *c.ac;
    const std::uint8_t *contributes = c.contributes;
    // 16-bit, so that no store to them may alias the reader's int and long.
    std::int16_t values[block_coefficients];
    std::int16_t positions[block_coefficients];
    int listed = 0;
    for (int k = 1; k < block_coefficients; ++k) {
        in.refill();
        const std::uint32_t next16 = in.peek16();
        const fast_ac_entry fast = fast_ac[next16 >> (max_code_length - fast_bits)];
        int length = fast.code_length;
        int size = fast.value_bits;
        int run = fast.run;
        if (length == 0) {
            const coded_symbol coded = decode_long_code(next16, ac_table);
            if (coded == 0) return false;
            const int symbol = symbol_of(coded);
            length = code_length_of(coded);
            size = value_bits_of(coded);
            run = size == 0 && symbol >> 4 != zero_run ? end_of_block_run : symbol >> 4;
        }
        const int value = extend(in.value_after(length, size), size);
        in.skip(length + size);
        k += run;
        if (k >= block_coefficients) break;
        values[listed] = static_cast<std::int16_t>(value);
        positions[listed] = static_cast<std::int16_t>(k);
        listed += contributes[k];
    }
    sum_listed<area>(c.patterns.data(), values, positions, listed, sums);
    return true;
}

// A block of any size; its AC sums into `sums` (its DC is added when it
// is stored, as a block decoded ahead knows its DC only relative to where
// it started).
bool decode_any_block(bit_reader &reader, const reduced_scan::component &c, std::int16_t &predictor, std::int16_t *sums) {
    bit_reader in = reader;
    bool decoded = false;
    switch (c.across * c.down) {
        case 1: decoded = decode_block<1>(in, c, predictor, sums); break;
        case 2: decoded = decode_block<2>(in, c, predictor, sums); break;
        case 4: decoded = decode_block<4>(in, c, predictor, sums); break;
        case 8: decoded = decode_block<8>(in, c, predictor, sums); break;
        case 16: decoded = decode_block<16>(in, c, predictor, sums); break;
        case 32: decoded = decode_block<32>(in, c, predictor, sums); break;
        default: decoded = decode_block<largest_area>(in, c, predictor, sums); break;
    }
    reader = in;
    return decoded;
}

// One MCU's blocks: each block's DC after `predictors` (moved on) and its
// AC sums. The components come as a span of their own, so that the thread
// decoding ahead reads nothing the other thread writes as it goes.
bool decode_any_mcu(bit_reader &in, const reduced_scan::component *components, std::size_t count,
                    std::int16_t *predictors, std::int16_t *block_predictors, std::int16_t *sums) {
    for (std::size_t ci = 0; ci < count; ++ci) {
        const reduced_scan::component &c = components[ci];
        const std::size_t area = std::size_t(c.across) * std::size_t(c.down);
        for (int b = 0; b < c.blocks_across * c.blocks_down; ++b) {
            if (!decode_any_block(in, c, predictors[ci], sums)) return false;
            sums += area;
            *block_predictors++ = predictors[ci];
        }
    }
    return true;
}

// The blocks of one component of an MCU, inlined into the loops below.
template <int area>
__attribute__((always_inline)) inline bool decode_blocks(bit_reader &in, const reduced_scan::component &c,
                                                         std::int16_t &predictor, std::int16_t *&block_predictors,
                                                         std::int16_t *&sums) {
    for (int b = 0; b < c.blocks_across * c.blocks_down; ++b, sums += area) {
        if (!decode_block<area>(in, c, predictor, sums)) return false;
        *block_predictors++ = predictor;
    }
    return true;
}

// The same for the common layouts, each inlined into one loop over a local
// reader: the first component's blocks of one size, the others' of
// another (or the same).
template <int first_area, int other_area>
bool decode_mcu_of(bit_reader &reader, const reduced_scan::component *components, std::size_t count,
                   std::int16_t *predictors, std::int16_t *block_predictors, std::int16_t *sums) {
    bit_reader in = reader;
    if (!decode_blocks<first_area>(in, components[0], predictors[0], block_predictors, sums)) return false;
    for (std::size_t ci = 1; ci < count; ++ci)
        if (!decode_blocks<other_area>(in, components[ci], predictors[ci], block_predictors, sums)) return false;
    reader = in;
    return true;
}

mcu_decoder decoder_for(const std::vector<reduced_scan::component> &components) {
    const auto area = [](const reduced_scan::component &c) { return c.across * c.down; };
    const int first = area(components.front());
    const int other = components.size() > 1 ? area(components[1]) : first;
    if (components.size() > 2 && area(components[2]) != other) return decode_any_mcu;
    if (first == 1 && other == 1) return decode_mcu_of<1, 1>;
    if (first == 4 && other == 4) return decode_mcu_of<4, 4>;
    if (first == 1 && other == 2) return decode_mcu_of<1, 2>;
    if (first == 1 && other == 4) return decode_mcu_of<1, 4>;
    if (first == 4 && other == 8) return decode_mcu_of<4, 8>;
    if (first == 4 && other == 16) return decode_mcu_of<4, 16>;
    return decode_any_mcu;
}

// A block's samples from its AC sums and what its DC adds to each, both
// in 64ths of a level.
template <int across, int down>
void store_block(const std::int16_t *sums, int dc_part, std::uint8_t *block, std::size_t stride) {
    constexpr int centre = (128 << fixed_shift) + (1 << fixed_shift) / 2;  // the level shift, and a half to round down by
    constexpr int area = across * down;
    const int offset = dc_part + centre;
    std::uint8_t levels[std::size_t{area}];
#if defined(__SSE2__)
    if constexpr (area % 4 == 0) {
        // Four samples at a time; SSE2's saturating packs are the clamp,
        // which the compiler otherwise made a branch or a mask a sample.
        const __m128i add = _mm_set1_epi32(offset);
        for (int i = 0; i < area; i += 4) {
            const __m128i part = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(sums + i));
            const __m128i wide = _mm_srai_epi32(_mm_unpacklo_epi16(part, part), 16);
            const __m128i level = _mm_srai_epi32(_mm_add_epi32(wide, add), fixed_shift);
            const __m128i words = _mm_packs_epi32(level, level);
            const int bytes = _mm_cvtsi128_si32(_mm_packus_epi16(words, words));
            std::memcpy(levels + i, &bytes, sizeof bytes);
        }
    } else
#endif
    {
        for (int i = 0; i < area; ++i)
            levels[i] = static_cast<std::uint8_t>(std::min(std::max((sums[i] + offset) >> fixed_shift, 0), 255));
    }
    for (int y = 0; y < down; ++y, block += stride)
        std::memcpy(block, levels + y * across, static_cast<std::size_t>(across));
}

template <int across>
block_store store_for_down(int down) {
    switch (down) {
        case 1: return store_block<across, 1>;
        case 2: return store_block<across, 2>;
        case 4: return store_block<across, 4>;
        default: return store_block<across, block_side>;
    }
}

block_store store_for(int across, int down) {
    switch (across) {
        case 1: return store_for_down<1>(down);
        case 2: return store_for_down<2>(down);
        case 4: return store_for_down<4>(down);
        default: return store_for_down<block_side>(down);
    }
}

// Each block's place in an MCU; its DC step is whole, as a unit of DC adds
// an eighth of its quantum to every output pixel.
void place_blocks(const std::vector<reduced_scan::component> &components, std::size_t stride, block_place *places) {
    std::ptrdiff_t sums = 0;
    for (std::size_t ci = 0; ci < components.size(); ++ci) {
        const reduced_scan::component &c = components[ci];
        for (int by = 0; by < c.blocks_down; ++by)
            for (int bx = 0; bx < c.blocks_across; ++bx, ++places, sums += std::ptrdiff_t(c.across) * c.down) {
                places->store = store_for(c.across, c.down);
                places->plane = c.plane.get();
                places->mcu_width = std::size_t(c.blocks_across) * std::size_t(c.across);
                places->offset = std::size_t(by * c.down) * stride + std::size_t(bx * c.across);
                places->sums = sums;
                places->dc_step = static_cast<int>(std::lround(c.patterns[0] * fixed_unit));
                places->component = ci;
            }
    }
}

// libjpeg's fixed-point YCbCr to RGB (T.871), so the same samples give
// the same pixels; each pixel stored as one word, so the loop vectorises
// (with AVX2 where the processor has it: SSE2 has no 32-bit min and max).
RKCONV_VECTOR_CLONES void ycbcr_to_rgba(const std::uint8_t *__restrict luma, const std::uint8_t *__restrict blue,
                                        const std::uint8_t *__restrict red, std::uint32_t width,
                                        std::uint8_t *__restrict out) {
    // T.871's factors 1.402, 1.772, 0.71414 and 0.34414 in 16-bit fixed point, rounded as libjpeg rounds them.
    constexpr int scale_bits = 16;
    constexpr int one_half = 1 << (scale_bits - 1);
    constexpr int cr_to_r = 91881;
    constexpr int cb_to_b = 116130;
    constexpr int cr_to_g = 46802;
    constexpr int cb_to_g = 22554;
    static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "a pixel's word is RGBA in memory");
    constexpr std::uint32_t opaque = 0xFF000000;
    const auto clamp = [](int value) { return static_cast<std::uint32_t>(std::min(std::max(value, 0), 255)); };
    for (std::uint32_t x = 0; x < width; ++x) {
        const int y = luma[x];
        const int cb = blue[x] - mid_grey;
        const int cr = red[x] - mid_grey;
        const std::uint32_t r = clamp(y + ((cr_to_r * cr + one_half) >> scale_bits));
        const std::uint32_t g = clamp(y + ((-cb_to_g * cb - cr_to_g * cr + one_half) >> scale_bits));
        const std::uint32_t b = clamp(y + ((cb_to_b * cb + one_half) >> scale_bits));
        const std::uint32_t pixel = r | g << 8 | b << 16 | opaque;
        std::memcpy(out + std::size_t{x} * 4, &pixel, sizeof pixel);
    }
}

// The component's Huffman tables, each built once for the scan.
bool take_tables(const jpeg_decompress_struct &cinfo, const jpeg_component_info &info, reduced_scan::tables &tables,
                 bool (&built)[2][table_slots], reduced_scan::component &c) {
    const int slots[2] = {info.dc_tbl_no, info.ac_tbl_no};
    const JHUFF_TBL *libjpeg_tables[2] = {cinfo.dc_huff_tbl_ptrs[info.dc_tbl_no], cinfo.ac_huff_tbl_ptrs[info.ac_tbl_no]};
    for (int kind : {dc, ac}) {
        decoding_table &decoding = tables.decoding[kind][slots[kind]];
        if (!built[kind][slots[kind]] && !build_decoding(libjpeg_table(*libjpeg_tables[kind]), kind, decoding)) return false;
        if (!built[kind][slots[kind]] && kind == ac) build_fast_ac(decoding, tables.fast_ac[slots[kind]]);
        built[kind][slots[kind]] = true;
    }
    c.dc = &tables.decoding[dc][info.dc_tbl_no];
    c.ac = &tables.decoding[ac][info.ac_tbl_no];
    c.fast_ac = tables.fast_ac[info.ac_tbl_no];
    return true;
}

}  // namespace

bool reduced_scan::suits(const jpeg_decompress_struct &cinfo, unsigned int shrink) {
    const bool progressive = cinfo.progressive_mode != 0;
    if (shrink != quarter && shrink != eighth && !(progressive && shrink == half)) return false;
    if (cinfo.arith_code || cinfo.data_precision != 8 || cinfo.restart_interval != 0) return false;
    const bool grey = cinfo.jpeg_color_space == JCS_GRAYSCALE && cinfo.num_components == 1;
    const bool colour = (cinfo.jpeg_color_space == JCS_YCbCr || cinfo.jpeg_color_space == JCS_RGB) &&
                        cinfo.num_components == 3;
    if ((!grey && !colour) || (!progressive && cinfo.comps_in_scan != cinfo.num_components)) return false;
    for (int i = 0; i < cinfo.num_components; ++i) {
        const jpeg_component_info &c = progressive ? cinfo.comp_info[i] : *cinfo.cur_comp_info[i];
        if (c.quant_tbl_no < 0 || c.quant_tbl_no >= NUM_QUANT_TBLS || cinfo.quant_tbl_ptrs[c.quant_tbl_no] == nullptr)
            return false;
        if (!progressive &&
            (c.dc_tbl_no < 0 || c.dc_tbl_no >= table_slots || cinfo.dc_huff_tbl_ptrs[c.dc_tbl_no] == nullptr ||
             c.ac_tbl_no < 0 || c.ac_tbl_no >= table_slots || cinfo.ac_huff_tbl_ptrs[c.ac_tbl_no] == nullptr))
            return false;
        const bool lone = cinfo.num_components == 1;
        if (block_output(lone ? 1 : cinfo.max_h_samp_factor, lone ? 1 : c.h_samp_factor, shrink) == 0 ||
            block_output(lone ? 1 : cinfo.max_v_samp_factor, lone ? 1 : c.v_samp_factor, shrink) == 0)
            return false;
    }
    return true;
}

std::unique_ptr<reduced_scan> reduced_scan::open(const jpeg_decompress_struct &cinfo, unsigned int shrink,
                                                 growing_block &rest) {
    if (!suits(cinfo, shrink)) return nullptr;
    const bool progressive = cinfo.progressive_mode != 0;
    // A sequential scan must end with the end of the image; anything else
    // after it (another scan or frame, a restart, nothing) is libjpeg's to judge.
    const std::size_t scan_end = progressive ? 0 : data_end(rest.data(), rest.size());
    if (!progressive && (scan_end + 1 >= rest.size() || rest.data()[scan_end + 1] != end_of_image)) return nullptr;
    const bool large = std::uint64_t{cinfo.image_width} * cinfo.image_height >= large_image_pixels;
    if (!progressive && large && cinfo.comps_in_scan == 1 && scan_end < speculation_bytes) return nullptr;

    std::unique_ptr<reduced_scan> scan(new (std::nothrow) reduced_scan);
    std::unique_ptr<reduced_scan::tables> tables(new (std::nothrow) reduced_scan::tables);
    if (!scan || !tables) return nullptr;
    const bool lone = cinfo.num_components == 1;
    const int widest = lone ? 1 : cinfo.max_h_samp_factor;
    const int tallest = lone ? 1 : cinfo.max_v_samp_factor;
    scan->colour_space_ = cinfo.jpeg_color_space;
    scan->width_ = (cinfo.image_width + shrink - 1) / shrink;
    scan->height_ = (cinfo.image_height + shrink - 1) / shrink;
    const unsigned int mcu_width = block_side * unsigned(widest);
    const unsigned int mcu_height = block_side * unsigned(tallest);
    scan->mcus_across_ = (cinfo.image_width + mcu_width - 1) / mcu_width;
    scan->mcu_rows_ = (cinfo.image_height + mcu_height - 1) / mcu_height;
    scan->rows_per_mcu_row_ = mcu_height / shrink;
    scan->plane_stride_ = scan->mcus_across_ * (mcu_width / shrink);
    bool built[2][table_slots] = {};
    try {
        for (int i = 0; i < cinfo.num_components; ++i) {
            const jpeg_component_info &info = progressive ? cinfo.comp_info[i] : *cinfo.cur_comp_info[i];
            component c;
            c.index = info.component_index;
            c.blocks_across = lone ? 1 : info.h_samp_factor;
            c.blocks_down = lone ? 1 : info.v_samp_factor;
            c.across = block_output(widest, c.blocks_across, shrink);
            c.down = block_output(tallest, c.blocks_down, shrink);
            if (!progressive && !take_tables(cinfo, info, *tables, built, c)) return nullptr;

            double down_means[block_side][block_side];
            double across_means[block_side][block_side];
            span_means(c.down, down_means);
            span_means(c.across, across_means);
            const UINT16 *quantities = cinfo.quant_tbl_ptrs[info.quant_tbl_no]->quantval;
            const int area = c.across * c.down;
            c.patterns.assign(std::size_t{block_coefficients} * std::size_t(area), 0.0f);
            for (int k = 0; k < block_coefficients; ++k) {
                const int frequency_down = natural_order[k] / block_side;
                const int frequency_across = natural_order[k] % block_side;
                float *pattern = c.patterns.data() + std::ptrdiff_t{k} * area;
                for (int y = 0; y < c.down; ++y)
                    for (int x = 0; x < c.across; ++x, ++pattern) {
                        *pattern = static_cast<float>(quantities[natural_order[k]] * down_means[y][frequency_down] *
                                                      across_means[x][frequency_across]);
                        if (std::abs(*pattern) > cancelled) c.contributes[k] = 1;
                    }
                if (k != 0 && c.contributes[k] != 0) c.contributing |= std::uint64_t{1} << k;
            }
            c.plane.reset(allocate_block(std::size_t{scan->plane_stride_} * scan->rows_per_mcu_row_));
            if (!c.plane) return nullptr;
            scan->blocks_per_mcu_ += std::size_t(c.blocks_across * c.blocks_down);
            scan->sums_per_mcu_ += std::size_t(c.blocks_across * c.blocks_down * area);
            scan->components_.push_back(std::move(c));
        }
    } catch (const std::bad_alloc &) {
        return nullptr;
    }
    if (scan->blocks_per_mcu_ > max_blocks_per_mcu) return nullptr;  // libjpeg refuses such a frame first
    place_blocks(scan->components_, scan->plane_stride_, tables->places);
    scan->tables_ = std::move(tables);
    if (progressive) {
        scan->coefficients_ = progressive_coefficients::decode(cinfo, rest.data(), rest.size());
        return scan->coefficients_ ? std::move(scan) : nullptr;
    }
    // The reader loads eight bytes at a time and may read an MCU's worth
    // past the data; the zeros stand in for the marker that ends it.
    static const std::uint8_t zeros[lookahead_room] = {};
    const std::size_t stuffed_length = scan_end;
    if (!rest.append(zeros, sizeof zeros)) return nullptr;
    const std::size_t data_length = unstuff(rest.data(), stuffed_length);
    std::memset(rest.data() + data_length, 0, lookahead_room);
    scan->reader_ = bit_reader(rest.data(), data_length);
    scan->data_length_ = data_length;
    scan->tables_->decode_mcu = decoder_for(scan->components_);
    if (data_length >= speculation_bytes) scan->start_speculation();
    return scan;
}

// Without the memory or a thread the scan is decoded in order on the
// caller's thread alone.
void reduced_scan::start_speculation() {
    auto ahead = std::unique_ptr<speculation>(new (std::nothrow) speculation);
    if (!ahead) return;
    const std::uint64_t mcus = std::uint64_t{mcus_across_} * mcu_rows_;
    ahead->start_bit = std::ptrdiff_t(double(8 * data_length_) * (1 - share_decoded_ahead));
    // Room for every MCU: MCUs lie unevenly in the data, and memory the
    // thread never writes costs nothing.
    const auto room = std::size_t(mcus) + records_of_slack;
    if (!ahead->kept.allocate(room, blocks_per_mcu_, sums_per_mcu_)) return;
    ahead_ = std::move(ahead);
    try {
        ahead_->worker = std::thread([this, from = reader_] { speculate(from); });
    } catch (const std::system_error &) {
        ahead_.reset();
    }
}

reduced_scan::~reduced_scan() = default;

void reduced_scan::store_mcu(std::uint32_t column, const std::int16_t *block_predictors, const std::int16_t *sums,
                             const std::int16_t *offsets) {
    for (std::size_t b = 0; b < blocks_per_mcu_; ++b) {
        const block_place &place = tables_->places[b];
        const auto predictor = static_cast<std::int16_t>(static_cast<std::uint32_t>(block_predictors[b]) +
                                                         static_cast<std::uint32_t>(offsets[place.component]));
        place.store(sums + place.sums, std::min(std::max(predictor * place.dc_step, -whole_limit), whole_limit),
                    place.plane + std::size_t{column} * place.mcu_width + place.offset, plane_stride_);
    }
}

void reduced_scan::speculate(bit_reader in) {
    speculation &ahead = *ahead_;
    in.seek(ahead.start_bit);
    std::int16_t predictors[max_components] = {};
    std::int64_t *starts = ahead.kept.starts;
    std::int16_t *start_predictors = ahead.kept.start_predictors;
    std::int16_t *block_predictors = ahead.kept.block_predictors;
    std::int16_t *sums = ahead.kept.sums;
    const std::size_t capacity = ahead.kept.capacity;
    const component *components = components_.data();
    const std::size_t component_count = components_.size();
    const std::size_t blocks_per_mcu = blocks_per_mcu_;
    const std::size_t sums_per_mcu = sums_per_mcu_;
    const mcu_decoder decode_mcu = tables_->decode_mcu;
    // Until the first MCUs have decoded, a code no table has means the guess
    // was off: start again a bit further on, the MCUs kept so far let go.
    // Once they are handed out, such a code is damage, and the other side
    // decodes on from there itself.
    // Where each MCU begins is written before the MCUs before it are handed
    // out, so the other side can always go on from the first not handed out.
    int restarts = 0;
    std::size_t published = 0;
    const auto note_start = [&](std::size_t record) {
        starts[record] = in.position();
        std::copy_n(predictors, max_components, start_predictors + record * max_components);
    };
    note_start(0);
    std::size_t record = 0;
    while (record < capacity && !ahead.stop.load(std::memory_order_relaxed)) {
        const bool decoded = decode_mcu(in, components, component_count, predictors,
                                        block_predictors + record * blocks_per_mcu, sums + record * sums_per_mcu);
        if (decoded && in.past_end()) break;
        if (!decoded) {
            if (published != 0 || ++restarts > max_restarts) break;
            in.seek(starts[record] + 1);
            std::fill_n(predictors, max_components, std::int16_t{0});
            record = 0;
            note_start(0);
            continue;
        }
        note_start(++record);
        if (record < records_before_handing_out || record % records_per_hand_out != 0) continue;
        published = record;
        // Sequentially consistent with the caller's `wanted`: either it
        // sees these MCUs before it waits, or this sees what it waits for.
        ahead.done.store(record);
        if (record >= ahead.wanted.load()) {
            { const std::lock_guard<std::mutex> lock(ahead.mutex); }
            ahead.changed.notify_all();
        }
    }
    {
        const std::lock_guard<std::mutex> lock(ahead.mutex);
        if (published != 0) ahead.done.store(record);
        ahead.finished = true;
    }
    ahead.changed.notify_all();
}

bool reduced_scan::meets_decoded_ahead(std::uint64_t mcu, std::ptrdiff_t position) {
    speculation &ahead = *ahead_;
    if (!ahead.checking || ahead.met || position < ahead.start_bit) return ahead.met;
    const bool finished = ahead.finished.load(std::memory_order_acquire);
    const std::size_t done = ahead.done.load(std::memory_order_acquire);
    const std::int64_t *starts = ahead.kept.starts;
    while (ahead.compared < done && starts[ahead.compared] < position) ++ahead.compared;
    if (ahead.compared == done) ahead.checking = !finished;
    if (ahead.compared == done || starts[ahead.compared] != position) return false;
    ahead.met = true;
    ahead.record_of_mcu = std::ptrdiff_t(ahead.compared) - std::ptrdiff_t(mcu);
    const std::int16_t *relative = ahead.kept.start_predictors + ahead.compared * max_components;
    for (std::size_t ci = 0; ci < components_.size(); ++ci)
        ahead.offsets[ci] = static_cast<std::int16_t>(static_cast<std::uint32_t>(predictors_[ci]) -
                                                      static_cast<std::uint32_t>(relative[ci]));
    return true;
}

std::uint32_t reduced_scan::take_decoded_ahead(std::uint64_t mcu, std::uint32_t column) {
    speculation &ahead = *ahead_;
    const auto record = std::size_t(std::ptrdiff_t(mcu) + ahead.record_of_mcu);
    std::size_t done = ahead.done.load(std::memory_order_acquire);
    if (done <= record) {
        // Waited for while it makes progress, for the rest of the row at
        // once; a thread held up (by the system, or faulting in fresh
        // memory) is left behind instead.
        std::unique_lock<std::mutex> lock(ahead.mutex);
        ahead.wanted.store(record + (mcus_across_ - column));
        for (;;) {
            const std::size_t before = ahead.done.load();
            if (before >= ahead.wanted.load() || ahead.finished) break;
            const bool moved = ahead.changed.wait_for(lock, stalled_after, [&] {
                return ahead.done.load() >= ahead.wanted.load() || ahead.finished;
            });
            if (!moved && ahead.done.load() == before) break;
        }
        ahead.wanted.store(std::numeric_limits<std::size_t>::max());
        done = ahead.done.load(std::memory_order_acquire);
    }
    const mcu_records &kept = ahead.kept;
    if (done <= record) {
        // It stopped short (damage, no room, held up): decode on here from
        // the first MCU it did not hand out.
        ahead.stop = true;
        reader_.seek(kept.starts[done]);
        const std::int16_t *relative = kept.start_predictors + done * max_components;
        for (std::size_t ci = 0; ci < components_.size(); ++ci)
            predictors_[ci] = static_cast<std::int16_t>(static_cast<std::uint32_t>(relative[ci]) +
                                                        static_cast<std::uint32_t>(ahead.offsets[ci]));
        ahead.met = ahead.checking = false;
        return 0;
    }
    const auto taken = static_cast<std::uint32_t>(std::min<std::size_t>(done - record, mcus_across_ - column));
    for (std::uint32_t i = 0; i < taken; ++i)
        store_mcu(column + i, kept.block_predictors + (record + i) * blocks_per_mcu_,
                  kept.sums + (record + i) * sums_per_mcu_, ahead.offsets);
    // Where the last MCU taken ends is where the thread noted the next one
    // beginning, before it handed this one out.
    end_record_ = std::ptrdiff_t(record + taken);
    return taken;
}

namespace {

// A block's AC sums from its coefficients, listed in zigzag order as a
// sequential scan lists them, so that both give the same sums.
template <int area>
void sum_block(const reduced_scan::component &c, const std::int16_t *block, std::int16_t *sums) {
    std::int16_t values[block_coefficients];
    std::int16_t positions[block_coefficients];
    int listed = 0;
    for (std::uint64_t left = c.contributing == 0 ? 0 : non_zero_coefficients(block) & c.contributing; left != 0;
         left &= left - 1, ++listed) {
        const int k = __builtin_ctzll(left);
        values[listed] = block[k];
        positions[listed] = static_cast<std::int16_t>(k);
    }
    sum_listed<area>(c.patterns.data(), values, positions, listed, sums);
}

using block_summer = void (*)(const reduced_scan::component &, const std::int16_t *, std::int16_t *);

block_summer summer_for(int area) {
    switch (area) {
        case 1: return sum_block<1>;
        case 2: return sum_block<2>;
        case 4: return sum_block<4>;
        case 8: return sum_block<8>;
        case 16: return sum_block<16>;
        case 32: return sum_block<32>;
        default: return sum_block<largest_area>;
    }
}

constexpr std::int16_t no_offsets[max_components] = {};
// The blocks are read once, long after they were written: those of the
// MCU this many ahead are fetched while one is summed.
constexpr std::size_t mcus_prefetched = 8;

}  // namespace

void reduced_scan::sum_coefficients(std::uint32_t column, std::int16_t *block_predictors, std::int16_t *sums) const {
    for (const component &c : components_) {
        const int area = c.across * c.down;
        const block_summer sum = summer_for(area);
        for (int by = 0; by < c.blocks_down; ++by)
            for (int bx = 0; bx < c.blocks_across; ++bx, sums += area) {
                const std::size_t row = std::size_t{mcu_rows_done_} * std::size_t(c.blocks_down) + std::size_t(by);
                const std::size_t block_column = std::size_t{column} * std::size_t(c.blocks_across) + std::size_t(bx);
                const std::size_t block = coefficients_->block_index(c.index, row, block_column);
                if (column + mcus_prefetched < mcus_across_) {
                    const std::int16_t *later = coefficients_->coefficients(block + mcus_prefetched * std::size_t(c.blocks_across));
                    __builtin_prefetch(later);
                    __builtin_prefetch(later + block_coefficients / 2);
                }
                *block_predictors++ = coefficients_->dc(block);
                sum(c, coefficients_->coefficients(block), sums);
            }
    }
}

void reduced_scan::decode_mcu_row() {
    if (coefficients_) {
        std::int16_t block_predictors[max_blocks_per_mcu];
        std::int16_t sums[max_blocks_per_mcu * largest_area];
        for (std::uint32_t column = 0; column < mcus_across_; ++column) {
            sum_coefficients(column, block_predictors, sums);
            store_mcu(column, block_predictors, sums, no_offsets);
        }
        ++mcu_rows_done_;
        return;
    }
    const std::uint64_t first = std::uint64_t{mcu_rows_done_} * mcus_across_;
    std::uint32_t column = 0;
    while (column < mcus_across_ && first + column < lost_from_mcu_) {
        const std::uint64_t mcu = first + column;
        if (ahead_ && meets_decoded_ahead(mcu, reader_.position()))
            if (const std::uint32_t taken = take_decoded_ahead(mcu, column)) {
                column += taken;
                continue;
            }
        bit_reader in = reader_;
        std::int16_t block_predictors[max_blocks_per_mcu];
        std::int16_t sums[max_blocks_per_mcu * largest_area];
        if (!tables_->decode_mcu(in, components_.data(), components_.size(), predictors_, block_predictors, sums))
            damage_ = JWRN_HUFF_BAD_CODE;
        else if (in.past_end())
            damage_ = JWRN_HIT_MARKER;
        if (damage_ != 0) {
            lost_from_mcu_ = mcu;
            break;
        }
        store_mcu(column++, block_predictors, sums, no_offsets);
        reader_ = in;
        end_record_ = -1;
    }
    ++mcu_rows_done_;
    if (column < mcus_across_) {
        // From the MCU where it was lost on, as libjpeg leaves what it cannot decode.
        const std::size_t lost_from = std::size_t{column} * (plane_stride_ / mcus_across_);
        for (component &c : components_)
            for (std::uint32_t row = 0; row < rows_per_mcu_row_; ++row)
                std::memset(c.plane.get() + std::size_t{row} * plane_stride_ + lost_from, mid_grey,
                            plane_stride_ - lost_from);
        return;
    }
    if (mcu_rows_done_ == mcu_rows_) {
        if (ahead_) ahead_->finish();
        const std::ptrdiff_t end = end_record_ < 0 ? reader_.position() : ahead_->kept.starts[end_record_];
        const std::ptrdiff_t unread_bytes = (8 * std::ptrdiff_t(data_length_) - end) / 8;
        // libjpeg's reader holds up to eight bytes ahead and never counts them.
        constexpr std::ptrdiff_t bytes_read_ahead = 8;
        if (unread_bytes >= bytes_read_ahead) extraneous_bytes_ = std::size_t(unread_bytes);
        ahead_.reset();
    }
}

void reduced_scan::to_rgba(std::uint32_t plane_row, std::uint8_t *out) const {
    const std::size_t offset = std::size_t{plane_row} * plane_stride_;
    // The frame's order, whatever the scan's; a scan of every component has each once.
    const std::uint8_t *first = components_.front().plane.get() + offset;
    const std::uint8_t *planes[3] = {first, first, first};
    for (const component &c : components_) planes[c.index] = c.plane.get() + offset;
    if (components_.size() == 1) {
        for (std::uint32_t x = 0; x < width_; ++x, out += 4) out[0] = out[1] = out[2] = planes[0][x], out[3] = 0xFF;
        return;
    }
    if (colour_space_ == JCS_RGB) {
        for (std::uint32_t x = 0; x < width_; ++x, out += 4)
            out[0] = planes[0][x], out[1] = planes[1][x], out[2] = planes[2][x], out[3] = 0xFF;
        return;
    }
    ycbcr_to_rgba(planes[0], planes[1], planes[2], width_, out);
}

void reduced_scan::read_rows(std::uint8_t *const *rows, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count && rows_done_ < height_; ++i, ++rows_done_) {
        if (next_plane_row_ == 0) decode_mcu_row();
        to_rgba(next_plane_row_, rows[i]);
        next_plane_row_ = (next_plane_row_ + 1) % rows_per_mcu_row_;
    }
}

}  // namespace rkconv
