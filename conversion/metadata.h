// What a file says about its pixels besides their size: the EXIF
// orientation and the ICC colour profile. The object behind the C
// interface's opaque rkconv_metadata.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rkconv {

// What Little CMS makes of a profile.
struct icc_facts {
    bool readable = false;  // Little CMS could open it
    bool rgb = false;       // its colour space is RGB
    std::string description;
};

}  // namespace rkconv

struct rkconv_metadata {
    std::int32_t orientation = 1;
    std::vector<std::uint8_t> icc_profile;
    rkconv::icc_facts icc;  // of icc_profile, read once when it is stored
};

namespace rkconv {

// EXIF blocks and ICC profiles larger than these are not read.
constexpr std::size_t max_exif_bytes = std::size_t{1} << 16;
constexpr std::size_t max_icc_bytes = std::size_t{1} << 24;

// The orientation of an EXIF block (IFD0 tag 0x0112, through libexif), given
// with or without its "Exif\0\0" header; 1 when absent or outside 1 to 8.
std::int32_t exif_orientation(const std::uint8_t *bytes, std::size_t length);

// Stores a profile and what Little CMS makes of it.
void adopt_icc(rkconv_metadata &metadata, std::vector<std::uint8_t> profile);

}  // namespace rkconv
