/*
 * rasterkit: a small image library with a plain C interface.
 *
 * An image is a rasterkit_image record: width, height and one buffer of
 * 8-bit RGBA samples, rows top first, pixel (x, y) at byte 4 * (x + y * width).
 * The caller owns a pointer variable that starts as NULL, hands its address to
 * rasterkit_image_new and finally to rasterkit_image_delete; every other
 * function takes the record pointer itself. Diagnostics are one-line messages
 * on standard output; libjpeg's own messages go to standard error.
 */
#ifndef RASTERKIT_H
#define RASTERKIT_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(RASTERKIT_BUILDING)
#    define RASTERKIT_API __declspec(dllexport)
#  else
#    define RASTERKIT_API __declspec(dllimport)
#  endif
#elif defined(__GNUC__)
#  define RASTERKIT_API __attribute__((visibility("default")))
#else
#  define RASTERKIT_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct rasterkit_image {
    int32_t width;
    int32_t height;
    uint8_t *data;
} rasterkit_image;

/* Image record and lifecycle: 0 on success, -1 on failure. */
RASTERKIT_API int32_t rasterkit_image_new(rasterkit_image **image, int32_t width, int32_t height);
RASTERKIT_API int32_t rasterkit_image_delete(rasterkit_image **image);
RASTERKIT_API int32_t rasterkit_image_resize(rasterkit_image *image, int32_t width, int32_t height);
RASTERKIT_API void rasterkit_image_clear(rasterkit_image *image);
RASTERKIT_API int32_t rasterkit_image_copy(rasterkit_image *destination, const rasterkit_image *source);

/* Pixel access, bounds-checked: 0 on success, -1 on failure. */
RASTERKIT_API int32_t rasterkit_set_pixel_RGBA(rasterkit_image *image, int32_t x, int32_t y,
                                               uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha);
RASTERKIT_API int32_t rasterkit_get_pixel_RGBA(const rasterkit_image *image, int32_t x, int32_t y,
                                               uint8_t *red, uint8_t *green, uint8_t *blue, uint8_t *alpha);
RASTERKIT_API int32_t rasterkit_set_pixel(rasterkit_image *image, int32_t x, int32_t y, uint32_t value);
RASTERKIT_API int32_t rasterkit_get_pixel(const rasterkit_image *image, int32_t x, int32_t y, uint8_t *rgba);

/* Geometric transforms. */
RASTERKIT_API void rasterkit_image_flipx(rasterkit_image *image);
RASTERKIT_API void rasterkit_image_flipy(rasterkit_image *image);
RASTERKIT_API int32_t rasterkit_transpose_image(rasterkit_image *image);

/* BMP files (uncompressed 8-, 24- and 32-bit read; 24-bit written). */
RASTERKIT_API void rasterkit_readimage_bmp(const char *path, rasterkit_image *image);
RASTERKIT_API void rasterkit_writeimage_bmp(const char *path, const rasterkit_image *image);

/* PNG files. */
RASTERKIT_API void rasterkit_readimage_png(const char *path, rasterkit_image *image);
RASTERKIT_API void rasterkit_writeimage_png(const char *path, const rasterkit_image *image);

/* PNG bytes in memory. */
RASTERKIT_API int32_t rasterkit_pngbytebuffer_to_img(rasterkit_image *image, const uint8_t *bytes, int32_t length);
RASTERKIT_API int32_t rasterkit_pngbytebufferlen(const rasterkit_image *image);
RASTERKIT_API int32_t rasterkit_pngbytebuffer_from_img(const rasterkit_image *image, uint8_t *buffer,
                                                       int32_t capacity, int32_t *length);

/* JPEG files. */
RASTERKIT_API void rasterkit_readimage_jpeg(const char *path, rasterkit_image *image);
RASTERKIT_API void rasterkit_writeimage_jpeg(const char *path, const rasterkit_image *image, int32_t quality);

/* Format detection and dispatch. Format codes: 1 BMP, 2 PNG, 3 JPEG, -1 none. */
RASTERKIT_API int32_t rasterkit_magic_type(const char *path);
RASTERKIT_API void rasterkit_readimage(const char *path, rasterkit_image *image);
RASTERKIT_API void rasterkit_writeimage(const char *path, const rasterkit_image *image);
RASTERKIT_API void rasterkit_writeimage_select(const char *path, const rasterkit_image *image, int32_t format);

/* Self-tests: they work on fixtures under "../testimg/" and print what they find. */
RASTERKIT_API int32_t rasterkit_exportedtestfn(int32_t a, int32_t b);
RASTERKIT_API void rasterkit_test_init(void);
RASTERKIT_API void rasterkit_test_loadsave(void);
RASTERKIT_API void rasterkit_test_binreadwrite(void);

#ifdef __cplusplus
}
#endif

#endif /* RASTERKIT_H */
