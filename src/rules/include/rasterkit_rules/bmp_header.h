// The 54 bytes at the start of a BMP file, decoded and judged: the one
// header rule that both the library's reader and the conversion library's
// probe follow.
#ifndef RASTERKIT_BMP_HEADER_H
#define RASTERKIT_BMP_HEADER_H

#include <cstddef>
#include <cstdint>


struct rasterkit_bmpfileheader {
    std::uint16_t magic;
    std::uint32_t bmpsize;
    std::uint16_t res1;
    std::uint16_t res2;
    std::uint32_t pixeloffset;
};

struct rasterkit_bmpinfoheader {
    std::uint32_t headersize;
    std::int32_t width;
    std::int32_t height;
    std::uint16_t colorplanes;
    std::uint16_t bitsperpixel;
    std::uint32_t compressionmethod;
    std::uint32_t imsz;
    std::int32_t horizontalrez;
    std::int32_t verticalrez;
    std::uint32_t colorpalette;
    std::uint32_t ignore;
};

namespace rasterkit {

constexpr std::size_t bmp_header_bytes = 54;
constexpr std::uint16_t bmp_magic = 0x4D42;  // "BM" read as little-endian

// Both header records from the first bmp_header_bytes of a file, fields in
// little-endian order.
void decode_bmp_headers(const unsigned char (&bytes)[bmp_header_bytes], rasterkit_bmpfileheader &file_header,
                        rasterkit_bmpinfoheader &info_header);

// Both header records into the first bmp_header_bytes of a file.
void encode_bmp_headers(const rasterkit_bmpfileheader &file_header, const rasterkit_bmpinfoheader &info_header,
                        unsigned char (&bytes)[bmp_header_bytes]);

// The headers of the 24-bit bottom-up file the writer makes of a
// width x height image whose rows take `stride` bytes each.
void written_bmp_headers(std::int32_t width, std::int32_t height, std::uint64_t stride,
                         rasterkit_bmpfileheader &file_header, rasterkit_bmpinfoheader &info_header);
constexpr std::uint16_t written_bmp_depth = 24;

enum class bmp_header_verdict { readable, not_a_bitmap, bad_colour_planes, not_rgb };

// Whether the reader decodes a file with these headers and this length
// (-1 when it cannot be told) at all.
bmp_header_verdict judge_bmp_headers(const rasterkit_bmpfileheader &file_header,
                                     const rasterkit_bmpinfoheader &info_header, std::int64_t file_length);

// |value|, or 0 for the one value whose magnitude has no 32-bit form: the
// reader's width and height.
std::int32_t bmp_dimension(std::int32_t value);

}  // namespace rasterkit

#endif
