// Byte loops for any host, and a 16-byte shuffle where the processor has
// SSSE3 (checked once at run time), which keeps the conversion at memory
// speed. The shuffled blocks stop a few pixels short of the row's end, so
// that no 16-byte load or store reaches past the bytes the row owns, and the
// byte loops finish the row.
#include "rasterkit_rules/bmp_rows.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define RASTERKIT_HAVE_SHUFFLE 1
#endif

namespace rasterkit {

namespace {

constexpr std::size_t group = 4;  // pixels per shuffle

void bgr_to_rgba_bytes(const std::uint8_t *bgr, std::uint8_t *rgba, std::size_t count) {
    for (std::size_t x = 0; x < count; ++x) {
        rgba[4 * x] = bgr[3 * x + 2];
        rgba[4 * x + 1] = bgr[3 * x + 1];
        rgba[4 * x + 2] = bgr[3 * x];
        rgba[4 * x + 3] = 255;
    }
}

void rgba_to_bgr_bytes(const std::uint8_t *rgba, std::uint8_t *bgr, std::size_t count) {
    for (std::size_t x = 0; x < count; ++x) {
        bgr[3 * x] = rgba[4 * x + 2];
        bgr[3 * x + 1] = rgba[4 * x + 1];
        bgr[3 * x + 2] = rgba[4 * x];
    }
}

#ifdef RASTERKIT_HAVE_SHUFFLE
__attribute__((target("ssse3"))) std::size_t bgr_to_rgba_shuffled(const std::uint8_t *bgr, std::uint8_t *rgba,
                                                                   std::size_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1);
    const __m128i alpha = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    std::size_t x = 0;
    // Each load takes 16 bytes for 12 of them.
    for (; x + group + 2 <= count; x += group) {
        const __m128i triples = _mm_loadu_si128(reinterpret_cast<const __m128i *>(bgr + 3 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(rgba + 4 * x), _mm_or_si128(_mm_shuffle_epi8(triples, order), alpha));
    }
    return x;
}

__attribute__((target("ssse3"))) std::size_t rgba_to_bgr_shuffled(const std::uint8_t *rgba, std::uint8_t *bgr,
                                                                   std::size_t count) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    std::size_t x = 0;
    // Each store writes 16 bytes for 12; the next group overwrites the 4
    // extra, and the last groups are left to the byte loop.
    for (; x + group + 2 <= count; x += group) {
        const __m128i pixels = _mm_loadu_si128(reinterpret_cast<const __m128i *>(rgba + 4 * x));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(bgr + 3 * x), _mm_shuffle_epi8(pixels, order));
    }
    return x;
}

bool has_shuffle() {
    static const bool supported = __builtin_cpu_supports("ssse3");
    return supported;
}
#endif

}  // namespace

void bgr_to_rgba(const std::uint8_t *bgr, std::uint8_t *rgba, std::size_t count) {
    std::size_t done = 0;
#ifdef RASTERKIT_HAVE_SHUFFLE
    if (has_shuffle()) done = bgr_to_rgba_shuffled(bgr, rgba, count);
#endif
    bgr_to_rgba_bytes(bgr + 3 * done, rgba + 4 * done, count - done);
}

void rgba_to_bgr(const std::uint8_t *rgba, std::uint8_t *bgr, std::size_t count) {
    std::size_t done = 0;
#ifdef RASTERKIT_HAVE_SHUFFLE
    if (has_shuffle()) done = rgba_to_bgr_shuffled(rgba, bgr, count);
#endif
    rgba_to_bgr_bytes(rgba + 4 * done, bgr + 3 * done, count - done);
}

namespace {

void reverse_pixels(std::uint8_t *row, std::size_t count) {
    if (count < 2) return;
    for (std::size_t left = 0, right = count - 1; left < right; ++left, --right) {
        std::uint8_t swap[4];
        std::memcpy(swap, row + 4 * left, 4);
        std::memcpy(row + 4 * left, row + 4 * right, 4);
        std::memcpy(row + 4 * right, swap, 4);
    }
}

}  // namespace

std::uint64_t bmp_row_bytes(std::uint64_t width, std::uint64_t bits_per_pixel) {
    return (width * bits_per_pixel + 31) / 32 * 4;
}

bool bmp_depth_is_decoded(std::uint16_t bits_per_pixel) {
    return bits_per_pixel == 8 || bits_per_pixel == 24 || bits_per_pixel == 32;
}

bmp_row_placement bmp_placement(const rasterkit_bmpinfoheader &ih) {
    const std::int64_t horizontal = std::int64_t{ih.width} * ih.horizontalrez;
    const std::int64_t vertical = std::int64_t{ih.height} * ih.verticalrez;
    return {horizontal < 0, vertical > 0};
}

void decode_bmp_row(const std::uint8_t *row, std::uint16_t bits_per_pixel, std::uint8_t *out, std::int32_t width,
                    bool mirror_columns) {
    const std::size_t count = static_cast<std::size_t>(width);
    switch (bits_per_pixel) {
        case 8:
            for (std::size_t x = 0; x < count; ++x) {
                out[4 * x] = out[4 * x + 1] = out[4 * x + 2] = row[x];
                out[4 * x + 3] = 255;
            }
            break;
        case 24:
            bgr_to_rgba(row, out, count);
            break;
        default:
            for (std::size_t x = 0; x < count; ++x) {
                out[4 * x] = row[4 * x + 2];
                out[4 * x + 1] = row[4 * x + 1];
                out[4 * x + 2] = row[4 * x];
                out[4 * x + 3] = row[4 * x + 3];
            }
            break;
    }
    if (mirror_columns) reverse_pixels(out, count);
}

}  // namespace rasterkit
