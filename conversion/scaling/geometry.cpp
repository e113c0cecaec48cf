#include "scaling/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "large_block.h"
#include "scaling/resampler.h"

namespace rkconv {
namespace {

constexpr std::size_t channels = 4;
constexpr std::int32_t shrink_denominators[] = {8, 4, 2};
// The kernel keeps at least this much of a reduction to do itself, give or
// take the rounding of the planned size (4000 to 1000x563 is 3.996x).
constexpr double kernel_share = 2.0;
constexpr double rounding_slack = 0.01;

std::string size_text(std::int64_t width, std::int64_t height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

status bad_argument(const std::string &text) { return failure(failure_kind::bad_argument, text).on(concerning::neither); }

std::int32_t scaled(std::int32_t size, double scale) {
    return static_cast<std::int32_t>(std::max<double>(1.0, std::min<double>(INT32_MAX, std::round(size * scale))));
}

// A new width x height buffer holding the image's region at (x, y), or the
// image placed at (x, y) on a background when the region is larger.
status recanvas(rasterkit_image *image, std::int32_t width, std::int32_t height, std::int32_t x, std::int32_t y,
                const std::array<std::uint8_t, 4> &background) {
    auto *out = allocate_block(std::size_t(width) * std::size_t(height) * channels);
    if (out == nullptr) return out_of_memory();
    for (std::size_t i = 0; i < std::size_t(width) * std::size_t(height); ++i)
        std::memcpy(out + i * channels, background.data(), channels);
    // The overlap of the image (at -x, -y on the new canvas) with the canvas.
    const std::int32_t left = std::max(0, -x), top = std::max(0, -y);
    const std::int32_t right = std::min(width, image->width - x), bottom = std::min(height, image->height - y);
    for (std::int32_t row = top; row < bottom; ++row)
        std::memcpy(out + (std::size_t(row) * std::size_t(width) + std::size_t(left)) * channels,
                    image->data + (std::size_t(row + y) * std::size_t(image->width) + std::size_t(left + x)) * channels,
                    std::size_t(right - left) * channels);
    std::free(image->data);
    *image = rasterkit_image{width, height, out};
    return success();
}

status rotate(rasterkit_image *image, std::int32_t degrees) {
    if (degrees == 180) {
        rasterkit_image_flipx(image);
        rasterkit_image_flipy(image);
        return success();
    }
    if (degrees != 90 && degrees != 270) return success();
    if (rasterkit_transpose_image(image) != 0) return out_of_memory();
    if (degrees == 90)
        rasterkit_image_flipx(image);
    else
        rasterkit_image_flipy(image);
    return success();
}

struct named_fit {
    const char *name;
    fit_mode mode;
};
constexpr named_fit fits[] = {{"inside", fit_mode::inside},
                              {"cover", fit_mode::cover},
                              {"contain", fit_mode::contain},
                              {"fill", fit_mode::fill},
                              {"outside", fit_mode::outside}};

struct named_position {
    const char *name;
    placement place;
};
constexpr named_position positions[] = {
    {"centre", {0.5, 0.5}},   {"center", {0.5, 0.5}},       {"top", {0.5, 0.0}},
    {"bottom", {0.5, 1.0}},   {"left", {0.0, 0.5}},         {"right", {1.0, 0.5}},
    {"top-left", {0.0, 0.0}}, {"top-right", {1.0, 0.0}},    {"bottom-left", {0.0, 1.0}},
    {"bottom-right", {1.0, 1.0}},
};

}  // namespace

std::optional<fit_mode> fit_named(const char *name) {
    for (const named_fit &f : fits)
        if (name != nullptr && std::strcmp(name, f.name) == 0) return f.mode;
    return std::nullopt;
}

std::optional<placement> position_named(const char *name) {
    for (const named_position &p : positions)
        if (name != nullptr && std::strcmp(name, p.name) == 0) return p.place;
    return std::nullopt;
}

std::optional<std::array<std::uint8_t, 4>> colour_named(const char *text) {
    if (text == nullptr) return std::nullopt;
    std::array<std::uint8_t, 4> colour{0, 0, 0, 255};
    std::size_t count = 0;
    for (const char *at = text;; ++at) {
        if (count == colour.size()) return std::nullopt;
        char *end = nullptr;
        const long value = std::strtol(at, &end, 10);
        if (end == at || value < 0 || value > 255) return std::nullopt;
        colour[count++] = static_cast<std::uint8_t>(value);
        at = end;
        if (*at == '\0') break;
        if (*at != ',') return std::nullopt;
    }
    if (count < 3) return std::nullopt;
    return colour;
}

status plan_size(const geometry_settings &settings, std::int32_t width, std::int32_t height, std::uint64_t max_pixels,
                 planned_size &plan) {
    if (settings.cropped) {
        const crop_box &c = settings.crop;
        if (std::int64_t{c.x} + c.width > width || std::int64_t{c.y} + c.height > height)
            return bad_argument("crop " + std::to_string(c.x) + "," + std::to_string(c.y) + "," +
                                std::to_string(c.width) + "," + std::to_string(c.height) + " leaves the " +
                                size_text(width, height) + " image");
        width = c.width;
        height = c.height;
    }
    plan = {width, height, width, height};
    if (!settings.resizes()) return success();
    const double across = settings.width > 0 ? double(settings.width) / width : 0.0;
    const double down = settings.height > 0 ? double(settings.height) / height : 0.0;
    const bool both = across > 0.0 && down > 0.0;
    double scale = std::max(across, down);  // one side given: that side's scale
    if (both && (settings.fit == fit_mode::inside || settings.fit == fit_mode::contain)) scale = std::min(across, down);
    if (!settings.enlarge) scale = std::min(scale, 1.0);
    plan.resize_width = scaled(width, scale);
    plan.resize_height = scaled(height, scale);
    if (both && settings.fit == fit_mode::fill) {
        plan.resize_width = settings.enlarge ? settings.width : std::min(settings.width, width);
        plan.resize_height = settings.enlarge ? settings.height : std::min(settings.height, height);
    }
    plan.canvas_width = plan.resize_width;
    plan.canvas_height = plan.resize_height;
    if (both && settings.fit == fit_mode::cover) {
        plan.canvas_width = std::min(settings.width, plan.resize_width);
        plan.canvas_height = std::min(settings.height, plan.resize_height);
    }
    if (both && settings.fit == fit_mode::contain) {
        plan.canvas_width = settings.width;
        plan.canvas_height = settings.height;
    }
    const std::uint64_t largest = std::max(std::uint64_t(plan.resize_width) * std::uint64_t(plan.resize_height),
                                           std::uint64_t(plan.canvas_width) * std::uint64_t(plan.canvas_height));
    if (largest > max_pixels)
        return bad_argument("resize to " + size_text(settings.width, settings.height) + " makes " +
                            std::to_string(largest) + " pixels, more than the limit of " + std::to_string(max_pixels));
    return success();
}

std::int32_t jpeg_shrink_denominator(const geometry_settings &settings, std::int32_t width, std::int32_t height,
                                     const planned_size &plan) {
    if (settings.exact || settings.cropped || !settings.resizes()) return 1;
    const double reduction = std::min(double(width) / plan.resize_width, double(height) / plan.resize_height);
    for (std::int32_t denominator : shrink_denominators)
        if (reduction / denominator + rounding_slack >= kernel_share) return denominator;
    return 1;
}

namespace {

// The box reduction ahead of the kernel for a resize from width x height.
std::int32_t box_factor(const geometry_settings &settings, std::int32_t width, std::int32_t height,
                        const planned_size &plan) {
    if (settings.exact) return 1;
    const double reduction = std::min(double(width) / plan.resize_width, double(height) / plan.resize_height);
    return static_cast<std::int32_t>(reduction / kernel_share + rounding_slack);
}

resample_request request_of(const geometry_settings &settings, const planned_size &plan) {
    resample_request request;
    request.width = plan.resize_width;
    request.height = plan.resize_height;
    request.kernel = settings.kernel;
    request.linear_light = settings.linear_light;
    return request;
}

// What follows the resize: the canvas of cover and contain, then the turn.
status after_resize(rasterkit_image *image, const geometry_settings &settings, const planned_size &plan) {
    if (plan.canvas_width != plan.resize_width || plan.canvas_height != plan.resize_height) {
        // Cover crops the overflow (positive offsets), contain pads (negative ones).
        const auto x = static_cast<std::int32_t>(std::lround((plan.resize_width - plan.canvas_width) * settings.position.across));
        const auto y = static_cast<std::int32_t>(std::lround((plan.resize_height - plan.canvas_height) * settings.position.down));
        if (status s = recanvas(image, plan.canvas_width, plan.canvas_height, x, y, settings.background); !s.ok())
            return s;
    }
    return rotate(image, settings.rotation);
}

}  // namespace

status apply_geometry(rasterkit_image *image, const geometry_settings &settings, const planned_size &plan,
                      std::int32_t full_width, std::int32_t full_height) {
    if (image->data == nullptr) return success();
    if (settings.cropped && image->width == full_width && image->height == full_height) {
        const crop_box &c = settings.crop;
        if (status s = recanvas(image, c.width, c.height, c.x, c.y, settings.background); !s.ok()) return s;
    }
    if (!settings.resizes()) return rotate(image, settings.rotation);
    const std::int32_t box = box_factor(settings, image->width, image->height, plan);
    if (box >= 2)
        if (status s = box_reduce(image, box); !s.ok()) return s;
    if (status s = resample(image, request_of(settings, plan)); !s.ok()) return s;
    return after_resize(image, settings, plan);
}

bool resizes_rows(const geometry_settings &settings, std::int32_t width, std::int32_t height,
                  const planned_size &plan) {
    return settings.resizes() && !settings.cropped && !settings.linear_light &&
           box_factor(settings, width, height, plan) < 2;
}

status resize_rows(rasterkit::rgba_row_source &rows, std::int32_t width, std::int32_t height, bool grey,
                   const geometry_settings &settings, const planned_size &plan, rasterkit_image *image) {
    if (status s = resample_rows(rows, width, height, grey, request_of(settings, plan), image); !s.ok()) return s;
    return after_resize(image, settings, plan);
}

}  // namespace rkconv
