// Reading by a file's signature, writing by a name's extension or a format
// code. Writers are never handed an image without pixels: a 1x1 all-zero
// image stands in for it.
#include "image/dispatch.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "fileutil/fileutil.h"
#include "image/image_model.h"

namespace {

constexpr std::int32_t extension_capacity = 20;
constexpr std::int32_t dispatch_jpeg_quality = 100;

struct known_extension {
    const char *text;
    std::int32_t format;
};
constexpr known_extension known_extensions[] = {
    {".png", rasterkit::format_png},
    {".bmp", rasterkit::format_bmp},
    {".jpg", rasterkit::format_jpeg},
    {".jpeg", rasterkit::format_jpeg},
};

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

void rasterkit_get_extension(const char *path, char *out, std::int32_t capacity) {
    if (out == nullptr || capacity <= 0) return;
    out[0] = '\0';
    const char *dot = std::strrchr(path, '.');
    if (dot == nullptr || dot == path || capacity <= 1) return;

    const std::size_t limit = static_cast<std::size_t>(capacity - 1);
    std::size_t length = 0;
    for (; length < limit && dot[length] != '\0'; ++length)
        out[length] = static_cast<char>(std::tolower(static_cast<unsigned char>(dot[length])));
    out[length] = '\0';
}

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
    char extension[extension_capacity];
    rasterkit_get_extension(path, extension, extension_capacity);
    std::int32_t format = rasterkit::format_unknown;
    for (const known_extension &known : known_extensions) {
        if (std::strcmp(extension, known.text) == 0) {
            format = known.format;
            break;
        }
    }
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
