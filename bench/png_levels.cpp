// PNG encoding of one photograph: rasterkit's writer (libpng's simplified
// interface, RGBA, level 6) against the conversion library's encoder at
// every zlib level, each writing the file to tmpfs. Prints one line per
// writer: median seconds and bytes.
//   png_levels PHOTO OUT_FOLDER ROUNDS
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "rasterkit_convert.h"

namespace {

double seconds_of(const std::function<void()> &work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

long size_of(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char **argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: png_levels PHOTO OUT_FOLDER ROUNDS\n");
        return 2;
    }
    const std::string out = std::string(argv[2]) + "/level.png";
    const int rounds = std::max(1, std::atoi(argv[3]));
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, 0, 0);
    if (rkconv_read_file(argv[1], nullptr, image, nullptr, nullptr) != 0) return 1;

    struct writer {
        std::string name;
        std::function<void()> write;
    };
    std::vector<writer> writers{{"rasterkit_writeimage_png", [&] { rasterkit_writeimage_png(out.c_str(), image); }}};
    std::vector<rkconv_options *> settings;
    for (int level = 0; level <= 9; ++level) {
        rkconv_options *options = rkconv_options_new();
        rkconv_options_set_compression(options, level);
        settings.push_back(options);
        writers.push_back({"encoder level " + std::to_string(level),
                           [&, options] { rkconv_write_file(out.c_str(), image, options, nullptr, nullptr); }});
    }
    std::printf("writer\tseconds\tbytes\n");
    for (const writer &w : writers) {
        std::vector<double> times;
        for (int r = 0; r < rounds; ++r) times.push_back(seconds_of(w.write));
        std::printf("%s\t%.4f\t%ld\n", w.name.c_str(), median(times), size_of(out));
    }
    for (rkconv_options *options : settings) rkconv_options_free(options);
    rasterkit_image_delete(&image);
    return 0;
}
