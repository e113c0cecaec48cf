#include "rasterkit_rules/bmp_header.h"

#include <climits>

namespace rasterkit {
namespace {

// Reads one little-endian field at `offset` and moves past it.
template <typename Field>
void take_field(const unsigned char *bytes, std::size_t &offset, Field &field) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < sizeof(Field); ++i) value |= std::uint32_t{bytes[offset + i]} << (8 * i);
    offset += sizeof(Field);
    field = static_cast<Field>(value);
}

template <typename Field>
void put_field(unsigned char *bytes, std::size_t &offset, Field field) {
    const auto value = static_cast<std::uint32_t>(field);
    for (std::size_t i = 0; i < sizeof(Field); ++i) bytes[offset + i] = static_cast<unsigned char>(value >> (8 * i));
    offset += sizeof(Field);
}

constexpr std::uint32_t info_header_bytes = 40;
constexpr std::int32_t written_resolution = 3780;  // pixels per metre, about 96 dpi

}  // namespace

void encode_bmp_headers(const rasterkit_bmpfileheader &fh, const rasterkit_bmpinfoheader &ih,
                        unsigned char (&bytes)[bmp_header_bytes]) {
    std::size_t offset = 0;
    put_field(bytes, offset, fh.magic);
    put_field(bytes, offset, fh.bmpsize);
    put_field(bytes, offset, fh.res1);
    put_field(bytes, offset, fh.res2);
    put_field(bytes, offset, fh.pixeloffset);
    put_field(bytes, offset, ih.headersize);
    put_field(bytes, offset, ih.width);
    put_field(bytes, offset, ih.height);
    put_field(bytes, offset, ih.colorplanes);
    put_field(bytes, offset, ih.bitsperpixel);
    put_field(bytes, offset, ih.compressionmethod);
    put_field(bytes, offset, ih.imsz);
    put_field(bytes, offset, ih.horizontalrez);
    put_field(bytes, offset, ih.verticalrez);
    put_field(bytes, offset, ih.colorpalette);
    put_field(bytes, offset, ih.ignore);
}

void written_bmp_headers(std::int32_t width, std::int32_t height, std::uint64_t stride, rasterkit_bmpfileheader &fh,
                         rasterkit_bmpinfoheader &ih) {
    constexpr auto header_bytes = static_cast<std::uint32_t>(bmp_header_bytes);
    fh = {bmp_magic, static_cast<std::uint32_t>(header_bytes + std::uint64_t(height) * stride), 0, 0, header_bytes};
    ih = {info_header_bytes, width, height, 1, written_bmp_depth, 0, 0, written_resolution, written_resolution, 0, 0};
}

void decode_bmp_headers(const unsigned char (&bytes)[bmp_header_bytes], rasterkit_bmpfileheader &fh,
                        rasterkit_bmpinfoheader &ih) {
    std::size_t offset = 0;
    take_field(bytes, offset, fh.magic);
    take_field(bytes, offset, fh.bmpsize);
    take_field(bytes, offset, fh.res1);
    take_field(bytes, offset, fh.res2);
    take_field(bytes, offset, fh.pixeloffset);
    take_field(bytes, offset, ih.headersize);
    take_field(bytes, offset, ih.width);
    take_field(bytes, offset, ih.height);
    take_field(bytes, offset, ih.colorplanes);
    take_field(bytes, offset, ih.bitsperpixel);
    take_field(bytes, offset, ih.compressionmethod);
    take_field(bytes, offset, ih.imsz);
    take_field(bytes, offset, ih.horizontalrez);
    take_field(bytes, offset, ih.verticalrez);
    take_field(bytes, offset, ih.colorpalette);
    take_field(bytes, offset, ih.ignore);
}

bmp_header_verdict judge_bmp_headers(const rasterkit_bmpfileheader &fh, const rasterkit_bmpinfoheader &ih,
                                     std::int64_t file_length) {
    // A length that cannot be told reads as the largest one, as the reader's
    // unsigned comparison has always taken it.
    const bool too_short = file_length >= 0 && file_length < static_cast<std::int64_t>(bmp_header_bytes);
    if (fh.magic != bmp_magic || too_short) return bmp_header_verdict::not_a_bitmap;
    if (ih.colorplanes != 1) return bmp_header_verdict::bad_colour_planes;
    if (ih.compressionmethod != 0) return bmp_header_verdict::not_rgb;
    return bmp_header_verdict::readable;
}

std::int32_t bmp_dimension(std::int32_t value) {
    if (value == INT32_MIN) return 0;
    return value < 0 ? -value : value;
}

}  // namespace rasterkit
