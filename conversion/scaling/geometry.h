// The geometry of a conversion, in its documented order: the turn upright
// (at the read), the crop, the resize to fit a box, then the rotation and
// the mirrors. Sizes are planned from the image as read at full size, so a
// decode that shrank on load still comes out at exactly the planned size.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "rasterkit.h"
#include "rasterkit_rules/jpeg_compress.h"
#include "scaling/kernels.h"
#include "status.h"

namespace rkconv {

enum class fit_mode { inside, cover, contain, fill, outside };

struct crop_box {
    std::int32_t x = 0, y = 0, width = 0, height = 0;
};

// Where cover crops and contain places: fractions of the slack, 0 left/top,
// 0.5 centre, 1 right/bottom.
struct placement {
    double across = 0.5;
    double down = 0.5;
};

struct geometry_settings {
    std::int32_t width = 0;   // the box; 0 where not given
    std::int32_t height = 0;
    fit_mode fit = fit_mode::inside;
    placement position;
    bool enlarge = true;
    const resampling_kernel *kernel = nullptr;  // null: lanczos3
    bool linear_light = false;
    bool exact = false;  // no shrink-on-load, no box reduction: the kernel on the full decode
    std::array<std::uint8_t, 4> background{0, 0, 0, 0};
    bool cropped = false;
    crop_box crop;
    std::int32_t rotation = 0;  // 0, 90, 180 or 270, clockwise

    bool resizes() const { return width > 0 || height > 0; }
};

// Settings by name; nullopt for a name that is none of them.
std::optional<fit_mode> fit_named(const char *name);
std::optional<placement> position_named(const char *name);
std::optional<std::array<std::uint8_t, 4>> colour_named(const char *text);  // "R,G,B" or "R,G,B,A"

// What the resize makes of a width x height image (after the crop): the
// size to resample to, then the canvas it is cropped or padded to.
struct planned_size {
    std::int32_t resize_width = 0, resize_height = 0;
    std::int32_t canvas_width = 0, canvas_height = 0;
};

// The plan, or a bad-argument failure: a crop that leaves the image, a
// result above `max_pixels`.
status plan_size(const geometry_settings &settings, std::int32_t width, std::int32_t height, std::uint64_t max_pixels,
                 planned_size &plan);

// The JPEG decoder's shrink-on-load: the largest of 8, 4, 2 that leaves at
// least twice the kernel's reduction to do; 1 for none.
std::int32_t jpeg_shrink_denominator(const geometry_settings &settings, std::int32_t width, std::int32_t height,
                                     const planned_size &plan);

// Crop, resize and rotate `image` by the plan made from its full size
// (`full_width` x `full_height`, which the image may be smaller than when
// it shrank on load).
status apply_geometry(rasterkit_image *image, const geometry_settings &settings, const planned_size &plan,
                      std::int32_t full_width, std::int32_t full_height);

// Whether a resize from width x height by this plan can take an opaque
// image's rows as they are decoded: no crop before it, no box reduction,
// not in linear light.
bool resizes_rows(const geometry_settings &settings, std::int32_t width, std::int32_t height,
                  const planned_size &plan);

// apply_geometry for such a resize, fed the rows of the width x height
// image (`grey` where they are known to be opaque grey); `image` receives
// the result.
status resize_rows(rasterkit::rgba_row_source &rows, std::int32_t width, std::int32_t height, bool grey,
                   const geometry_settings &settings, const planned_size &plan, rasterkit_image *image);

}  // namespace rkconv
