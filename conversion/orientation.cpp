#include "orientation.h"

namespace rkconv {
namespace {

enum step : unsigned { mirror_x = 1, mirror_y = 2, transpose_first = 4 };

// Per orientation: transpose first (5 to 8), then the mirrors. 2 mirrors the
// columns, 3 turns half way, 4 mirrors the rows; 5 is the transpose itself,
// 6 a quarter turn clockwise, 7 the transpose along the other diagonal, 8 a
// quarter turn anticlockwise.
constexpr unsigned steps_of[] = {
    0,                                          // (no orientation 0)
    0,                                          // 1
    mirror_x,                                   // 2
    mirror_x | mirror_y,                        // 3
    mirror_y,                                   // 4
    transpose_first,                            // 5
    transpose_first | mirror_x,                 // 6
    transpose_first | mirror_x | mirror_y,      // 7
    transpose_first | mirror_y,                 // 8
};

}  // namespace

bool orient_upright(std::int32_t orientation, rasterkit_image *image) {
    if (orientation < 1 || orientation > 8) return true;
    const unsigned steps = steps_of[orientation];
    if ((steps & transpose_first) != 0 && rasterkit_transpose_image(image) != 0) return false;
    if ((steps & mirror_x) != 0) rasterkit_image_flipx(image);
    if ((steps & mirror_y) != 0) rasterkit_image_flipy(image);
    return true;
}

}  // namespace rkconv
