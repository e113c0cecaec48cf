#include "bench_inputs.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "bench_references.h"
#include "rasterkit.h"

namespace bench {

namespace {

constexpr int large_width = 4000;
constexpr int large_height = 3000;
constexpr int small_width = 1152;
constexpr int small_height = 864;
constexpr int photo_quality = 90;
constexpr int noise_amplitude = 6;

std::uint32_t next_random(std::uint32_t &state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

std::uint8_t clamp_byte(int v) { return static_cast<std::uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Bilinear upscale of the photograph with a little deterministic noise, so
// the codecs see photo-like detail at every scale.
void upscale(const rasterkit_image *photo, rasterkit_image *out) {
    std::uint32_t seed = 0x12345678u;
    const double sx = static_cast<double>(photo->width - 1) / (out->width - 1);
    const double sy = static_cast<double>(photo->height - 1) / (out->height - 1);
    for (int y = 0; y < out->height; ++y) {
        const double fy = y * sy;
        const int y0 = static_cast<int>(fy);
        const int y1 = y0 + 1 < photo->height ? y0 + 1 : y0;
        const double ty = fy - y0;
        for (int x = 0; x < out->width; ++x) {
            const double fx = x * sx;
            const int x0 = static_cast<int>(fx);
            const int x1 = x0 + 1 < photo->width ? x0 + 1 : x0;
            const double tx = fx - x0;
            std::uint8_t p00[4], p01[4], p10[4], p11[4];
            rasterkit_get_pixel(photo, x0, y0, p00);
            rasterkit_get_pixel(photo, x1, y0, p01);
            rasterkit_get_pixel(photo, x0, y1, p10);
            rasterkit_get_pixel(photo, x1, y1, p11);
            std::uint8_t rgb[3];
            for (int c = 0; c < 3; ++c) {
                const double top = p00[c] + (p01[c] - p00[c]) * tx;
                const double bottom = p10[c] + (p11[c] - p10[c]) * tx;
                const int noise = static_cast<int>(next_random(seed) % (2 * noise_amplitude + 1)) - noise_amplitude;
                rgb[c] = clamp_byte(static_cast<int>(top + (bottom - top) * ty + 0.5) + noise);
            }
            rasterkit_set_pixel_RGBA(out, x, y, rgb[0], rgb[1], rgb[2], 255);
        }
    }
}

// Flat panels, window-like rectangles and rows of glyph-sized dark marks.
void draw_screen(rasterkit_image *out) {
    std::uint32_t seed = 0xC0FFEEu;
    for (int y = 0; y < out->height; ++y)
        for (int x = 0; x < out->width; ++x) rasterkit_set_pixel(out, x, y, 0xFFF4F4F4u);
    for (int r = 0; r < 60; ++r) {
        const int x0 = static_cast<int>(next_random(seed) % out->width);
        const int y0 = static_cast<int>(next_random(seed) % out->height);
        const int w = 100 + static_cast<int>(next_random(seed) % 900);
        const int h = 60 + static_cast<int>(next_random(seed) % 600);
        const std::uint32_t colour = 0xFF000000u | (next_random(seed) & 0x00FFFFFFu);
        for (int y = y0; y < y0 + h && y < out->height; ++y)
            for (int x = x0; x < x0 + w && x < out->width; ++x) rasterkit_set_pixel(out, x, y, colour);
    }
    for (int line = 20; line + 12 < out->height; line += 18) {
        for (int x = 10; x + 7 < out->width; x += 8) {
            const std::uint32_t glyph = next_random(seed);
            if (glyph % 7 == 0) continue;  // spaces
            for (int gy = 0; gy < 10; ++gy)
                for (int gx = 0; gx < 6; ++gx)
                    if ((glyph >> ((gx + gy * 3) % 32)) & 1) rasterkit_set_pixel(out, x + gx, line + gy, 0xFF202020u);
        }
    }
}

std::vector<std::uint8_t> rgb_of(const rasterkit_image *image) {
    const std::size_t n = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height);
    std::vector<std::uint8_t> rgb(3 * n);
    for (std::size_t i = 0; i < n; ++i)
        for (int c = 0; c < 3; ++c) rgb[3 * i + static_cast<std::size_t>(c)] = image->data[4 * i + static_cast<std::size_t>(c)];
    return rgb;
}

}  // namespace

Inputs input_paths(const std::string &dir) {
    return {dir + "/photo-rgba.png", dir + "/photo-rgb.png", dir + "/photo-q90.jpg", dir + "/photo.bmp",
            dir + "/screen.png",     dir + "/small-q90.jpg", dir + "/small.png"};
}

bool make_inputs(const std::string &dir, const std::string &photo_path) {
    const Inputs in = input_paths(dir);
    rasterkit_image *photo = nullptr;
    rasterkit_image *large = nullptr;
    rasterkit_image *small = nullptr;
    rasterkit_image *screen = nullptr;
    rasterkit_image_new(&photo, 0, 0);
    rasterkit_readimage(photo_path.c_str(), photo);
    const bool ok = photo->data != nullptr;
    if (ok) {
        rasterkit_image_new(&large, large_width, large_height);
        rasterkit_image_new(&small, small_width, small_height);
        rasterkit_image_new(&screen, large_width, large_height);
        upscale(photo, large);
        upscale(photo, small);
        draw_screen(screen);
        rasterkit_writeimage_png(in.photo_png_rgba.c_str(), large);
        const std::vector<std::uint8_t> rgb = rgb_of(large);
        libpng_write_rgb_file(in.photo_png_rgb, rgb.data(), large_width, large_height);
        rasterkit_writeimage_jpeg(in.photo_jpeg.c_str(), large, photo_quality);
        rasterkit_writeimage_bmp(in.photo_bmp.c_str(), large);
        rasterkit_writeimage_png(in.screen_png.c_str(), screen);
        rasterkit_writeimage_jpeg(in.small_jpeg.c_str(), small, photo_quality);
        rasterkit_writeimage_png(in.small_png.c_str(), small);
    }
    rasterkit_image_delete(&screen);
    rasterkit_image_delete(&small);
    rasterkit_image_delete(&large);
    rasterkit_image_delete(&photo);
    return ok;
}

}  // namespace bench
