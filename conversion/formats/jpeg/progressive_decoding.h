// Every scan of a progressive JPEG read into its blocks' coefficients, for
// the decoder that gives a JPEG at 1/2, 1/4 or 1/8 of its size. The blocks lie
// in one zeroed block of huge pages: libjpeg's own buffer of them, of the
// same size, is zeroed from fresh small pages on every decode, a page fault
// for each 4 KB. libjpeg parses the frame and the first scan's header; this
// reads every scan from there and the segments between them. The DCs lie
// apart from the rest, so that the scans of DCs alone, which pass over
// every block, stay in the caches; as the scans of the first component's
// AC coefficients write nothing the others read or write, from a megapixel
// they are decoded on a thread of their own beside the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include <jpeglib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "formats/jpeg/huffman_table.h"
#include "large_block.h"

namespace rkconv {

// A table libjpeg read, as its DHT segment held it.
huffman_table libjpeg_table(const JHUFF_TBL &table);

// Which of a block's 64 coefficients, in zigzag order, are not zero: bit k for the k-th.
inline std::uint64_t non_zero_coefficients(const std::int16_t *block) {
#if defined(__SSE2__)
    std::uint64_t found = 0;
    const __m128i zero = _mm_setzero_si128();
    for (int k = 0; k < 64; k += 16) {
        const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + k));
        const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i *>(block + k + 8));
        const __m128i zeros = _mm_packs_epi16(_mm_cmpeq_epi16(low, zero), _mm_cmpeq_epi16(high, zero));
        found |= std::uint64_t{static_cast<std::uint16_t>(~_mm_movemask_epi8(zeros))} << k;
    }
    return found;
#else
    std::uint64_t found = 0;
    for (int k = 0; k < 64; ++k) found |= std::uint64_t{block[k] != 0} << k;
    return found;
#endif
}

class progressive_coefficients {
public:
    // The file's scans from the first one's entropy-coded data, in the
    // `length` bytes at `rest`, to the end of the image. Null for what this
    // leaves to libjpeg to decode and judge: damage, restart intervals,
    // quantisation tables defined between scans, a progression libjpeg
    // warns of, bytes left in a scan, too many scans; or without memory.
    static std::unique_ptr<progressive_coefficients> decode(const jpeg_decompress_struct &cinfo,
                                                            const std::uint8_t *rest, std::size_t length);

    // Where the block in `row` and `column` of the frame's component
    // `component` is, counted in whole MCUs.
    std::size_t block_index(int component, std::size_t row, std::size_t column) const {
        return offset_[component] + row * blocks_across_[component] + column;
    }
    std::int16_t dc(std::size_t block) const { return dcs_[block]; }
    // Its 64 coefficients in zigzag order, but for the DC, which is 0 here.
    const std::int16_t *coefficients(std::size_t block) const { return blocks_ + block * block_values; }

    progressive_coefficients(const progressive_coefficients &) = delete;
    progressive_coefficients &operator=(const progressive_coefficients &) = delete;
    ~progressive_coefficients() = default;

private:
    static constexpr std::size_t block_values = 64;
    static constexpr int max_components = 4;
    progressive_coefficients() = default;

    owned_block memory_;
    std::int16_t *blocks_ = nullptr;
    owned_block dc_memory_;
    std::int16_t *dcs_ = nullptr;
    std::size_t offset_[max_components] = {};  // of each component's first block
    std::size_t blocks_across_[max_components] = {};

    friend class progressive_reader;
};

}  // namespace rkconv
