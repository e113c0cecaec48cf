// The facts both libraries must agree on about formats and sizes: the format
// codes, their names and extensions, and the most pixels a record holds.
#ifndef RASTERKIT_RULES_FORMATS_H
#define RASTERKIT_RULES_FORMATS_H

#include <cstdint>

namespace rasterkit {

// Format codes of rasterkit_magic_type, rasterkit_writeimage_select and the
// conversion library.
constexpr std::int32_t format_bmp = 1;
constexpr std::int32_t format_png = 2;
constexpr std::int32_t format_jpeg = 3;
constexpr std::int32_t format_unknown = -1;

// Byte offsets into a buffer are signed 32-bit, so at most 2^31 bytes. The
// fuzz build lowers the limit so that a header alone cannot make every
// run a multi-gigabyte one.
#ifndef RASTERKIT_MAX_PIXELS_LOG2
#define RASTERKIT_MAX_PIXELS_LOG2 29
#endif
constexpr std::int64_t max_pixels = std::int64_t{1} << RASTERKIT_MAX_PIXELS_LOG2;

inline bool size_is_positive(std::int64_t width, std::int64_t height) { return width > 0 && height > 0; }

// True for a positive size the record can hold.
inline bool size_fits(std::int64_t width, std::int64_t height) {
    return size_is_positive(width, height) && width <= max_pixels && height <= max_pixels &&
           width * height <= max_pixels;
}

// bmp, png, jpeg; "unknown" for any other code.
const char *format_name(std::int32_t format);
// bmp, png, jpg: the extension a written file of the format gets.
const char *format_extension(std::int32_t format);
// The code of bmp, png, jpeg or jpg; format_unknown for any other name.
std::int32_t format_of_format_name(const char *name);

}  // namespace rasterkit

#endif
