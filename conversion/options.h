// The settings object behind the C interface's opaque rkconv_options.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "rasterkit_convert.h"
#include "rasterkit_rules/formats.h"
#include "scaling/geometry.h"

struct rkconv_options {
    std::uint64_t max_pixels = RKCONV_DEFAULT_MAX_PIXELS;
    std::int32_t format = RKCONV_FORMAT_BY_NAME;
    std::int32_t quality = -1;
    std::int32_t compression = -1;
    std::int32_t progressive = -1;  // -1 not given, else 0 or 1
    std::int32_t chroma = 0;        // 0 not given, else 444 or 420
    bool auto_orient = true;
    std::int32_t profile = RKCONV_PROFILE_KEEP;
    bool accept_damaged = false;
    rkconv::geometry_settings geometry;
    // Why a setter refused a value, by setting; every call with these
    // options then fails with the first reason.
    std::map<std::string, std::string> refused;
    std::vector<std::int32_t> transforms;
};

namespace rkconv {

constexpr std::int32_t format_by_name = RKCONV_FORMAT_BY_NAME;
constexpr std::int32_t format_bmp = RKCONV_FORMAT_BMP;
constexpr std::int32_t format_png = RKCONV_FORMAT_PNG;
constexpr std::int32_t format_jpeg = RKCONV_FORMAT_JPEG;
constexpr std::int32_t format_of_input = RKCONV_FORMAT_OF_INPUT;
// rasterkit's own ceiling on a record.
constexpr auto record_max_pixels = static_cast<std::uint64_t>(rasterkit::max_pixels);
constexpr int jpeg_quality_by_default = 100;
constexpr std::int32_t full_chroma = 444;
constexpr std::int32_t halved_chroma = 420;

// The options a null pointer stands for.
const rkconv_options &default_options();

// The limit a read applies: the ceiling where the options say 0.
std::uint64_t effective_pixel_limit(const rkconv_options &options);

const char *format_name(std::int32_t format);       // bmp, png, jpeg; unknown
const char *format_extension(std::int32_t format);  // bmp, png, jpg
// The format rasterkit's writer picks for a name by its extension;
// format_by_name where it falls back to PNG with its warning.
std::int32_t format_from_extension(const char *path);

}  // namespace rkconv
