// Builds BMP files field by field for the tests, little-endian as the format
// has it. Defaults describe a valid bottom-up 24-bit file with a 40-byte
// info header; rows are given as stored in the file, padding included.
#ifndef RASTERKIT_BMP_BUILDER_H
#define RASTERKIT_BMP_BUILDER_H

#include <cstdint>
#include <vector>

namespace testing_support {

struct BmpBuilder {
    std::uint8_t magic[2] = {'B', 'M'};
    std::uint32_t bmpsize = 0;  // 0: computed
    std::uint32_t pixeloffset = 0;  // 0: right after headers and gap
    std::uint32_t headersize = 40;
    std::int32_t width = 1;
    std::int32_t height = 1;
    std::uint16_t colorplanes = 1;
    std::uint16_t bitsperpixel = 24;
    std::uint32_t compression = 0;
    std::int32_t horizontalrez = 3780;
    std::int32_t verticalrez = 3780;
    std::vector<std::uint8_t> gap;   // bytes between the 54 header bytes and the pixels
    std::vector<std::uint8_t> pixels;  // the stored rows

    std::vector<std::uint8_t> build() const {
        std::vector<std::uint8_t> out;
        auto put = [&out](std::uint32_t value, int size) {
            for (int i = 0; i < size; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
        };
        const std::uint32_t offset = pixeloffset != 0 ? pixeloffset : static_cast<std::uint32_t>(54 + gap.size());
        out.push_back(magic[0]);
        out.push_back(magic[1]);
        put(bmpsize != 0 ? bmpsize : static_cast<std::uint32_t>(offset + pixels.size()), 4);
        put(0, 2);
        put(0, 2);
        put(offset, 4);
        put(headersize, 4);
        put(static_cast<std::uint32_t>(width), 4);
        put(static_cast<std::uint32_t>(height), 4);
        put(colorplanes, 2);
        put(bitsperpixel, 2);
        put(compression, 4);
        put(static_cast<std::uint32_t>(pixels.size()), 4);
        put(static_cast<std::uint32_t>(horizontalrez), 4);
        put(static_cast<std::uint32_t>(verticalrez), 4);
        put(0, 4);
        put(0, 4);
        out.insert(out.end(), gap.begin(), gap.end());
        out.insert(out.end(), pixels.begin(), pixels.end());
        return out;
    }
};

}  // namespace testing_support

#endif
