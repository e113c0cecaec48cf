// Exported pixel access: thin wrappers over the inlined accessors.
#include "image/image_model.h"

extern "C" {

RASTERKIT_API int32_t rasterkit_set_pixel_RGBA(rasterkit_image *image, int32_t x, int32_t y, uint8_t red,
                                               uint8_t green, uint8_t blue, uint8_t alpha) {
    return rasterkit::store_pixel(image, x, y, red, green, blue, alpha) ? 0 : -1;
}

RASTERKIT_API int32_t rasterkit_get_pixel_RGBA(const rasterkit_image *image, int32_t x, int32_t y, uint8_t *red,
                                               uint8_t *green, uint8_t *blue, uint8_t *alpha) {
    uint8_t rgba[4] = {0, 0, 0, 0};
    const bool valid = rasterkit::load_pixel(image, x, y, rgba);
    if (red != nullptr) *red = rgba[0];
    if (green != nullptr) *green = rgba[1];
    if (blue != nullptr) *blue = rgba[2];
    if (alpha != nullptr) *alpha = rgba[3];
    return valid ? 0 : -1;
}

RASTERKIT_API int32_t rasterkit_set_pixel(rasterkit_image *image, int32_t x, int32_t y, uint32_t value) {
    return rasterkit::store_pixel(image, x, y, static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                                  static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24))
               ? 0
               : -1;
}

RASTERKIT_API int32_t rasterkit_get_pixel(const rasterkit_image *image, int32_t x, int32_t y, uint8_t *rgba) {
    if (rgba == nullptr) return -1;
    if (rasterkit::load_pixel(image, x, y, rgba)) return 0;
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0;
    return -1;
}

}  // extern "C"
