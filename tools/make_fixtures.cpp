// Makes the self-tests' fixtures: a photograph shrunk by a whole factor with
// a box filter, written as testpfp0.bmp, testpfp0.png and testpfp0.jpg.
//   make-fixtures PHOTO OUTDIR [FACTOR]
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rasterkit.h"

namespace {

constexpr int default_factor = 4;
constexpr int fixture_jpeg_quality = 90;

// The mean of each factor x factor block, channel by channel.
bool shrink(const rasterkit_image *photo, int factor, rasterkit_image **out) {
    const int32_t width = photo->width / factor;
    const int32_t height = photo->height / factor;
    if (rasterkit_image_new(out, width, height) != 0 || (*out)->data == nullptr) return false;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            unsigned sum[4] = {0, 0, 0, 0};
            for (int dy = 0; dy < factor; ++dy) {
                for (int dx = 0; dx < factor; ++dx) {
                    uint8_t rgba[4];
                    rasterkit_get_pixel(photo, x * factor + dx, y * factor + dy, rgba);
                    for (int c = 0; c < 4; ++c) sum[c] += rgba[c];
                }
            }
            const unsigned n = static_cast<unsigned>(factor * factor);
            rasterkit_set_pixel_RGBA(*out, x, y, static_cast<uint8_t>(sum[0] / n), static_cast<uint8_t>(sum[1] / n),
                                     static_cast<uint8_t>(sum[2] / n), static_cast<uint8_t>(sum[3] / n));
        }
    }
    return true;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: make-fixtures PHOTO OUTDIR [FACTOR]\n");
        return 2;
    }
    const int factor = argc == 4 ? std::atoi(argv[3]) : default_factor;
    if (factor < 1) {
        std::fprintf(stderr, "make-fixtures: FACTOR must be 1 or more\n");
        return 2;
    }
    rasterkit_image *photo = nullptr;
    rasterkit_image *fixture = nullptr;
    rasterkit_image_new(&photo, 0, 0);
    rasterkit_readimage(argv[1], photo);
    int status = 1;
    if (photo != nullptr && photo->data != nullptr && shrink(photo, factor, &fixture)) {
        const std::string base = std::string(argv[2]) + "/testpfp0";
        rasterkit_writeimage_bmp((base + ".bmp").c_str(), fixture);
        rasterkit_writeimage_png((base + ".png").c_str(), fixture);
        rasterkit_writeimage_jpeg((base + ".jpg").c_str(), fixture, fixture_jpeg_quality);
        std::printf("wrote %dx%d fixtures to %s.{bmp,png,jpg}\n", fixture->width, fixture->height, base.c_str());
        status = 0;
    } else {
        std::fprintf(stderr, "make-fixtures: %s: cannot be read\n", argv[1]);
    }
    rasterkit_image_delete(&fixture);
    rasterkit_image_delete(&photo);
    return status;
}
