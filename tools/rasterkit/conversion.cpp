#include "conversion.h"

#include "rasterkit.h"
#include "safe_write.h"
#include "tool_common.h"

namespace rktool {
namespace {

const char *transform_name(transform t) {
    switch (t) {
        case transform::flip_x:
            return "flip-x";
        case transform::flip_y:
            return "flip-y";
        default:
            return "transpose";
    }
}

bool apply(transform t, rasterkit_image *image) {
    switch (t) {
        case transform::flip_x:
            rasterkit_image_flipx(image);
            return true;
        case transform::flip_y:
            rasterkit_image_flipy(image);
            return true;
        default:
            return rasterkit_transpose_image(image) == 0;
    }
}

// A caller that already told the format by the signature need not have the
// library open the file a second time to tell it again.
void read_image(const std::string &path, std::int32_t known_format, rasterkit_image *image) {
    switch (known_format) {
        case format_bmp:
            rasterkit_readimage_bmp(path.c_str(), image);
            break;
        case format_png:
            rasterkit_readimage_png(path.c_str(), image);
            break;
        case format_jpeg:
            rasterkit_readimage_jpeg(path.c_str(), image);
            break;
        default:
            rasterkit_readimage(path.c_str(), image);
            break;
    }
}

}  // namespace

std::string convert_file(const std::string &input, const std::string &output, const conversion_settings &settings) {
    image_holder image;
    if (image.get() == nullptr) return input + ": out of memory";
    read_image(input, settings.input_format, image.get());
    if (!image.has_pixels()) return input + ": cannot be read";
    for (transform t : settings.transforms)
        if (!apply(t, image.get())) return input + ": out of memory for " + transform_name(t);

    const rasterkit_image *pixels = image.get();
    std::int32_t format = settings.format;
    file_writer write;
    if (settings.quality >= 0) {
        format = format_jpeg;
        write = [pixels, quality = settings.quality](const char *path) {
            rasterkit_writeimage_jpeg(path, pixels, quality);
        };
    } else if (format != format_by_name) {
        write = [pixels, format](const char *path) { rasterkit_writeimage_select(path, pixels, format); };
    } else {
        // The library picks the format by the name, and warns where it falls back to PNG.
        format = format_from_extension(output);
        if (format == format_by_name) format = format_png;
        write = [pixels](const char *path) { rasterkit_writeimage(path, pixels); };
    }
    const std::string fault = safe_write(output, format, write);
    if (!fault.empty()) return output + ": could not be written (" + fault + ")";
    return {};
}

}  // namespace rktool
