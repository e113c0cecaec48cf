// An image made from the input bytes goes out as BMP and PNG, to files and
// to memory, and comes back: PNG exactly, BMP with alpha 255. JPEG is
// written and read for safety only, being lossy.
#include <cstring>
#include <vector>

#include "fuzz_common.h"

namespace {

constexpr std::size_t max_side = 64;

[[noreturn]] void mismatch(const char *what) {
    std::fprintf(stderr, "round trip mismatch: %s\n", what);
    std::abort();
}

void expect_pixels(const rasterkit_image *back, const rasterkit_image *image, bool opaque, const char *what) {
    if (back->width != image->width || back->height != image->height) mismatch(what);
    const std::size_t n = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height);
    for (std::size_t i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c)
            if (back->data[4 * i + c] != image->data[4 * i + c]) mismatch(what);
        const std::uint8_t alpha = opaque ? 255 : image->data[4 * i + 3];
        if (back->data[4 * i + 3] != alpha) mismatch(what);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2) return 0;
    const auto width = static_cast<std::int32_t>(data[0] % max_side + 1);
    const auto height = static_cast<std::int32_t>(data[1] % max_side + 1);
    rasterkit_image *image = nullptr;
    rasterkit_image *back = nullptr;
    rasterkit_image_new(&image, width, height);
    rasterkit_image_new(&back, 1, 1);
    const std::size_t bytes = 4u * static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (std::size_t i = 0; i < bytes; ++i) image->data[i] = size > 2 ? data[2 + i % (size - 2)] : 0;
    if (data[0] & 0x80) rasterkit_image_flipx(image);
    if (data[1] & 0x80) rasterkit_transpose_image(image);

    const std::string path = fuzzing::input_path();
    rasterkit_writeimage_bmp(path.c_str(), image);
    rasterkit_readimage_bmp(path.c_str(), back);
    expect_pixels(back, image, true, "bmp file");

    rasterkit_writeimage_png(path.c_str(), image);
    rasterkit_readimage_png(path.c_str(), back);
    expect_pixels(back, image, false, "png file");

    const std::int32_t needed = rasterkit_pngbytebufferlen(image);
    std::vector<std::uint8_t> png(static_cast<std::size_t>(needed));
    std::int32_t length = 0;
    rasterkit_pngbytebuffer_from_img(image, png.data(), needed, &length);
    if (length != needed) mismatch("png length");
    rasterkit_image_resize(back, 1, 1);
    rasterkit_pngbytebuffer_to_img(back, png.data(), length);
    expect_pixels(back, image, false, "png memory");

    rasterkit_writeimage_jpeg(path.c_str(), image, data[0] % 101);
    rasterkit_readimage_jpeg(path.c_str(), back);
    if (back->width != width && back->width != height) mismatch("jpeg size");

    rasterkit_image_delete(&image);
    rasterkit_image_delete(&back);
    return 0;
}
