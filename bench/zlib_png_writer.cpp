#include "zlib_png_writer.h"

#include <png.h>

#include <cstdio>
#include <vector>

namespace {

struct png_state {
    png_structp png = nullptr;
    png_infop info = nullptr;
    std::FILE *file = nullptr;
    std::vector<png_bytep> rows;
};

bool opaque(const rasterkit_image *image) {
    const std::size_t count = std::size_t(image->width) * std::size_t(image->height);
    for (std::size_t i = 0; i < count; ++i)
        if (image->data[i * 4 + 3] != 255) return false;
    return true;
}

bool write(png_state *state, const rasterkit_image *image, int level) {
    if (setjmp(png_jmpbuf(state->png))) return false;  // NOLINT(cert-err52-cpp): libpng's errors land here
    const bool rgb = opaque(image);
    png_init_io(state->png, state->file);
    png_set_user_limits(state->png, PNG_UINT_31_MAX, PNG_UINT_31_MAX);
    png_set_compression_level(state->png, level);
    png_set_filter(state->png, PNG_FILTER_TYPE_BASE, PNG_ALL_FILTERS);
    png_set_IHDR(state->png, state->info, png_uint_32(image->width), png_uint_32(image->height), 8,
                 rgb ? PNG_COLOR_TYPE_RGB : PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_set_sRGB(state->png, state->info, PNG_sRGB_INTENT_PERCEPTUAL);
    png_write_info(state->png, state->info);
    if (rgb) png_set_filler(state->png, 0, PNG_FILLER_AFTER);
    png_write_image(state->png, state->rows.data());
    png_write_end(state->png, state->info);
    return true;
}

}  // namespace

bool write_png_with_zlib(const char *path, const rasterkit_image *image, int level) {
    png_state state;
    state.file = std::fopen(path, "wb");
    if (state.file == nullptr) return false;
    for (int y = 0; y < image->height; ++y) state.rows.push_back(image->data + std::size_t(y) * std::size_t(image->width) * 4);
    state.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (state.png != nullptr) state.info = png_create_info_struct(state.png);
    const bool written = state.info != nullptr && write(&state, image, level);
    png_destroy_write_struct(&state.png, &state.info);
    return std::fclose(state.file) == 0 && written;
}
