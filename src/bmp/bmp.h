// The two BMP header records and the header diagnostic.
#ifndef RASTERKIT_BMP_H
#define RASTERKIT_BMP_H

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

// Prints every field of both headers, one line each, on standard output.
void rasterkit_printheaders_bmp(const rasterkit_bmpfileheader *file_header, const rasterkit_bmpinfoheader *info_header);

#endif
