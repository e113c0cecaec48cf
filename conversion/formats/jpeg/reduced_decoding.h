// A sequential JPEG decoded straight to 1/4 or 1/8 of its size for a
// thumbnail. Each block's output pixels are the means of its full inverse
// DCT over the spans they cover, summed from the coefficients as they are
// decoded (a coefficient adds its value times one precomputed pattern per
// block), so no block of coefficients is zeroed, stored or transformed;
// every component comes out at the output's size, chroma without
// upsampling. libjpeg parses the header; the scan is read here. A
// progressive file's scans are read into its blocks' coefficients first,
// whose sums are taken the same way, at 1/2 of its size as well: libjpeg
// would fill a buffer of every coefficient of the image whatever the scale.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include <jpeglib.h>

#include "formats/jpeg/huffman_decoding.h"
#include "formats/jpeg/progressive_decoding.h"
#include "large_block.h"
#include "sink.h"

namespace rkconv {

class reduced_scan {
public:
    // Whether the header libjpeg read describes a file this decoder takes:
    // one sequential Huffman scan of every component or progressive Huffman
    // scans (progressive ones at 1/2 too), 8-bit greyscale, YCbCr or RGB
    // samples, no restart interval, and sampling that each component reaches
    // 1/shrink from without upsampling.
    static bool suits(const jpeg_decompress_struct &cinfo, unsigned int shrink);

    // The scan whose bytes, from the first of its entropy-coded data to the
    // end of the file, are in `rest`; null when they do not end with the end
    // of the image right after the scan (libjpeg is then left to read them),
    // for a large greyscale image whose scan is too short to split, for a
    // progressive file that progressive_coefficients leaves to libjpeg, or
    // without the memory. On success `rest` is rewritten and must outlive
    // the scan.
    static std::unique_ptr<reduced_scan> open(const jpeg_decompress_struct &cinfo, unsigned int shrink,
                                              growing_block &rest);

    std::uint32_t width() const { return width_; }
    std::uint32_t height() const { return height_; }

    // The next `count` rows, RGBA with opaque alpha, each width() * 4 bytes.
    // Past damage the rows are mid-grey, as libjpeg gives them.
    void read_rows(std::uint8_t *const *rows, std::uint32_t count);

    // libjpeg's code of the warning for what was lost (JWRN_HIT_MARKER when
    // the data ended early, JWRN_HUFF_BAD_CODE), 0 while nothing was.
    int damage() const { return damage_; }
    // Bytes left in the scan after its last MCU, once every row was read.
    std::size_t extraneous_bytes() const { return extraneous_bytes_; }

    ~reduced_scan();
    reduced_scan(const reduced_scan &) = delete;
    reduced_scan &operator=(const reduced_scan &) = delete;

    struct component;
    struct tables;
    struct speculation;

private:
    reduced_scan() = default;
    void start_speculation();
    // Into the planes at `column`, each block's DC moved by its component's offset.
    void store_mcu(std::uint32_t column, const std::int16_t *block_predictors, const std::int16_t *sums,
                   const std::int16_t *offsets);
    void speculate(huffman::bit_reader in);
    // Whether the MCU that begins at `position` is one the thread decoded.
    bool meets_decoded_ahead(std::uint64_t mcu, std::ptrdiff_t position);
    // How many MCUs of the row from `column` on were taken from those
    // decoded ahead; none when the thread stopped short of `mcu`.
    std::uint32_t take_decoded_ahead(std::uint64_t mcu, std::uint32_t column);
    void decode_mcu_row();
    // The MCU in `column` of the current row from the progressive file's coefficients.
    void sum_coefficients(std::uint32_t column, std::int16_t *block_predictors, std::int16_t *sums) const;
    void to_rgba(std::uint32_t plane_row, std::uint8_t *out) const;

    std::unique_ptr<tables> tables_;
    std::vector<component> components_;  // in the scan's order
    int colour_space_ = JCS_YCbCr;
    std::uint32_t width_ = 0;
    std::uint32_t height_ = 0;
    std::uint32_t mcus_across_ = 0;
    std::uint32_t mcu_rows_ = 0;
    std::uint32_t mcu_rows_done_ = 0;
    std::uint32_t rows_per_mcu_row_ = 0;  // output rows
    std::uint32_t plane_stride_ = 0;
    std::uint32_t rows_done_ = 0;
    std::uint32_t next_plane_row_ = 0;
    std::size_t blocks_per_mcu_ = 0;
    std::size_t sums_per_mcu_ = 0;
    std::size_t data_length_ = 0;
    huffman::bit_reader reader_{nullptr, 0};
    std::int16_t predictors_[4] = {};
    std::ptrdiff_t end_record_ = -1;  // after the last MCU taken from those decoded ahead, if it was
    std::unique_ptr<speculation> ahead_;
    std::unique_ptr<progressive_coefficients> coefficients_;
    std::uint64_t lost_from_mcu_ = UINT64_MAX;  // the first MCU damage took
    int damage_ = 0;
    std::size_t extraneous_bytes_ = 0;
};

}  // namespace rkconv
