// What every command of the tool shares: exit statuses, format names and a
// record owned for the length of one job.
#pragma once

#include <cstdint>
#include <string>

#include "rasterkit.h"

namespace rktool {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

constexpr std::int32_t format_by_name = 0;  // not chosen: by the output's name or the input's content
constexpr std::int32_t format_bmp = 1;
constexpr std::int32_t format_png = 2;
constexpr std::int32_t format_jpeg = 3;

const char *format_name(std::int32_t format);
const char *format_extension(std::int32_t format);
// bmp, png, jpeg or jpg; -1 for any other name.
std::int32_t format_from_name(const std::string &name);
// The format the library's extension rule picks for a path; format_by_name
// when it would fall back to PNG with its warning.
std::int32_t format_from_extension(const std::string &path);

// Owns a record for the length of one job.
class image_holder {
public:
    image_holder() { rasterkit_image_new(&image_, 0, 0); }
    ~image_holder() { rasterkit_image_delete(&image_); }
    image_holder(const image_holder &) = delete;
    image_holder &operator=(const image_holder &) = delete;
    rasterkit_image *get() const { return image_; }
    bool has_pixels() const { return image_ != nullptr && image_->data != nullptr; }

private:
    rasterkit_image *image_ = nullptr;
};

}  // namespace rktool
