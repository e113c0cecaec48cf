// The conversion library's reads side by side with the codecs decoding
// alone into a fresh RGBA buffer: libjpeg-turbo straight to JCS_EXT_RGBA,
// libpng's simplified reader to RGBA.
//   rasterkit_decode_bench ROUNDS FILE...
#include <cstdlib>
#include <string>

#include "bench_references.h"
#include "race.h"
#include "rasterkit_convert.h"

namespace {

constexpr double read_target = 1.02;

bool is_png(const std::string &path) { return path.size() > 4 && path.compare(path.size() - 4, 4, ".png") == 0; }

void read_through_conversion(const rkconv_options *options, const std::string &path) {
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, 0, 0);
    if (rkconv_read_file(path.c_str(), options, image, nullptr, nullptr) != 0) std::abort();
    bench::keep(image->data);
    rasterkit_image_delete(&image);
}

}  // namespace

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s ROUNDS FILE...\n", argv[0]);
        return 2;
    }
    const int rounds = std::atoi(argv[1]);
    rkconv_options *options = rkconv_options_new();
    rkconv_options_set_auto_orient(options, 0);
    rkconv_options_set_max_pixels(options, 0);
    std::printf("Read through the conversion library (file, header probed, limit checked, metadata kept) vs the codec alone\n");
    for (int i = 2; i < argc; ++i) {
        const std::string path = argv[i];
        const bool png = is_png(path);
        const bench::Race r = bench::race(
            rounds, [&] { read_through_conversion(options, path); },
            [&] { png ? bench::libpng_read_file(path) : bench::libjpeg_read_rgba(path); });
        const std::string name = path.substr(path.find_last_of('/') + 1);
        bench::report(name, png ? "libpng simplified RGBA" : "libjpeg-turbo EXT_RGBA", r, bench::Goal::at_most,
                      read_target);
    }
    rkconv_options_free(options);
    std::printf("targets: %d met, %d missed\n", bench::targets_met, bench::targets_missed);
    return 0;
}
