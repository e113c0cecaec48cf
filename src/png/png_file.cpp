// PNG files through libpng's simplified interface.
#include <cstdio>

#include "png/png_descriptor.h"

extern "C" {

RASTERKIT_API void rasterkit_readimage_png(const char *path, rasterkit_image *image) {
    png_image descriptor = rasterkit::cleared_descriptor();
    if (png_image_begin_read_from_file(&descriptor, path) == 0) {
        std::printf("readimage_png: error: %s\n", descriptor.message);
        rasterkit_image_resize(image, 0, 0);
        return;
    }
    rasterkit::finish_read_into(descriptor, image);
    png_image_free(&descriptor);
}

RASTERKIT_API void rasterkit_writeimage_png(const char *path, const rasterkit_image *image) {
    png_image descriptor = rasterkit::write_descriptor(image);
    png_image_write_to_file(&descriptor, path, 0, image->data, 0, nullptr);
}

}  // extern "C"
