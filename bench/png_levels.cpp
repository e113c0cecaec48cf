// PNG encoding of photographs, in process, each file written to tmpfs: the
// conversion library's encoder at every level against the zlib writer it
// replaced (at its default, level 3, and at 9). One line per photo and
// writer: median seconds and bytes.
//   png_levels OUT_FOLDER ROUNDS PHOTO...
// With "peak zlib|deflate PHOTO OUT" it reads and writes once and prints the
// process's peak resident kilobytes.
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "rasterkit_convert.h"
#include "zlib_png_writer.h"

namespace {

constexpr int today_default_level = 3;
constexpr int strongest_level = 9;

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

rasterkit_image *read(const char *path) {
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, 0, 0);
    if (rkconv_read_file(path, nullptr, image, nullptr, nullptr) != 0) std::exit(1);
    return image;
}

bool write_with_encoder(const std::string &out, const rasterkit_image *image, int level) {
    rkconv_options *options = rkconv_options_new();
    rkconv_options_set_compression(options, level);
    const bool written = rkconv_write_file(out.c_str(), image, options, nullptr, nullptr) == 0;
    rkconv_options_free(options);
    return written;
}

int peak(const char *writer, const char *photo, const char *out) {
    rasterkit_image *image = read(photo);
    const bool written = std::strcmp(writer, "zlib") == 0 ? write_png_with_zlib(out, image, today_default_level)
                                                          : write_with_encoder(out, image, today_default_level);
    rasterkit_image_delete(&image);
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld\n", usage.ru_maxrss);
    return written ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv) {
    if (argc == 5 && std::strcmp(argv[1], "peak") == 0) return peak(argv[2], argv[3], argv[4]);
    if (argc < 4) {
        std::fprintf(stderr, "usage: png_levels OUT_FOLDER ROUNDS PHOTO... | png_levels peak zlib|deflate PHOTO OUT\n");
        return 2;
    }
    const std::string out = std::string(argv[1]) + "/level.png";
    const int rounds = std::max(1, std::atoi(argv[2]));
    struct writer {
        std::string name;
        std::function<bool(const rasterkit_image *)> write;
    };
    std::vector<writer> writers;
    for (int level : {today_default_level, strongest_level})
        writers.push_back({"zlib writer level " + std::to_string(level),
                           [&, level](const rasterkit_image *image) { return write_png_with_zlib(out.c_str(), image, level); }});
    for (int level = 0; level <= strongest_level; ++level)
        writers.push_back({"encoder level " + std::to_string(level),
                           [&, level](const rasterkit_image *image) { return write_with_encoder(out, image, level); }});
    std::printf("photo\twriter\tseconds\tbytes\n");
    for (int i = 3; i < argc; ++i) {
        rasterkit_image *image = read(argv[i]);
        const char *name = std::strrchr(argv[i], '/') != nullptr ? std::strrchr(argv[i], '/') + 1 : argv[i];
        for (const writer &w : writers) {
            std::vector<double> times;
            // Writers that take over a second (the strongest levels) are timed once.
            for (int r = 0; r < rounds && (times.empty() || times.front() < 1.0); ++r)
                times.push_back(seconds_of([&] {
                    if (!w.write(image)) std::exit(1);
                }));
            std::printf("%s\t%s\t%.4f\t%ld\n", name, w.name.c_str(), median(times), size_of(out));
            std::fflush(stdout);
        }
        rasterkit_image_delete(&image);
    }
    return 0;
}
