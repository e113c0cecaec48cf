// Reading by a file's signature, writing by a name's extension or a format
// code. Writers are never handed an image without pixels: a 1x1 all-zero
// image stands in for it.
#include "rasterkit_rules/extension.h"

#include <cstdio>

#include "fileutil/fileutil.h"
#include "image/image_model.h"

namespace {

constexpr std::int32_t dispatch_jpeg_quality = 100;

void write_format(const char *path, const rasterkit_image *image, std::int32_t format) {
    switch (format) {
        case rasterkit::format_bmp:
            rasterkit_writeimage_bmp(path, image);
            break;
        case rasterkit::format_jpeg:
            rasterkit_writeimage_jpeg(path, image, dispatch_jpeg_quality);
            break;
        default:
            rasterkit_writeimage_png(path, image);
            break;
    }
}

void write_with_substitute(const char *path, const rasterkit_image *image, std::int32_t format) {
    if (rasterkit::size_is_positive(image->width, image->height)) {
        write_format(path, image, format);
        return;
    }
    rasterkit_image *substitute = nullptr;
    rasterkit_image_new(&substitute, 1, 1);
    if (substitute != nullptr && substitute->data != nullptr) write_format(path, substitute, format);
    rasterkit_image_delete(&substitute);
}

}  // namespace

extern "C" {

RASTERKIT_API void rasterkit_readimage(const char *path, rasterkit_image *image) {
    switch (rasterkit_magic_type(path)) {
        case rasterkit::format_bmp:
            rasterkit_readimage_bmp(path, image);
            break;
        case rasterkit::format_png:
            rasterkit_readimage_png(path, image);
            break;
        case rasterkit::format_jpeg:
            rasterkit_readimage_jpeg(path, image);
            break;
        default:
            std::printf("rasterkitreadimage: %s: unrecognized file type!\n", path);
            break;
    }
}

RASTERKIT_API void rasterkit_writeimage(const char *path, const rasterkit_image *image) {
    char extension[rasterkit::extension_capacity];
    rasterkit_get_extension(path, extension, rasterkit::extension_capacity);
    std::int32_t format = rasterkit::format_of_extension(extension);
    if (format == rasterkit::format_unknown) {
        std::printf("rasterkit_writeimage: Warning: %s is unidentified extension. Writing file with default format "
                    "of PNG.\n",
                    extension);
        format = rasterkit::format_png;
    }
    write_with_substitute(path, image, format);
}

RASTERKIT_API void rasterkit_writeimage_select(const char *path, const rasterkit_image *image, int32_t format) {
    write_with_substitute(path, image, format);
}

}  // extern "C"
