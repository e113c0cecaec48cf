// rasterkit's readers, writers and image operations side by side with the
// libraries it drives, with stb_image, and with memcpy/memset, in one run:
// interleaved rounds, medians, and each ratio against its target.
//   rasterkit_bench make-inputs DIR PHOTO
//   rasterkit_bench run DIR [ROUNDS [SECTION]]   SECTION: memory png-read png-write jpeg bmp ops
//   rasterkit_bench peak KIND PATH        (child process of run)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "bench_inputs.h"
#include "bench_references.h"
#include "race.h"
#include "rasterkit.h"

namespace {

using bench::bytes;
using namespace bench;

const char *const output_dir = "/dev/shm";  // file writes on tmpfs: no writeback noise

template <typename Reader>
void read_into_fresh_record(Reader reader, const std::string &path) {
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, 0, 0);
    reader(path.c_str(), image);
    keep(image->data);
    rasterkit_image_delete(&image);
}

// An image decoded by the library, owned for the length of a section.
struct Loaded {
    rasterkit_image *image = nullptr;
    explicit Loaded(const std::string &path) {
        rasterkit_image_new(&image, 0, 0);
        rasterkit_readimage(path.c_str(), image);
    }
    ~Loaded() { rasterkit_image_delete(&image); }
    int width() const { return image->width; }
    int height() const { return image->height; }
    bytes rgb() const {
        const std::size_t n = static_cast<std::size_t>(width()) * static_cast<std::size_t>(height());
        bytes out(3 * n);
        for (std::size_t i = 0; i < n; ++i) std::memcpy(&out[3 * i], &image->data[4 * i], 3);
        return out;
    }
};

void png_reads(const bench::Inputs &in, int rounds) {
    std::printf("PNG read into a fresh RGBA buffer (libpng simplified API alone vs rasterkit)\n");
    const std::pair<const char *, std::string> files[] = {{"12 MP photo RGBA", in.photo_png_rgba},
                                                           {"12 MP photo RGB", in.photo_png_rgb},
                                                           {"12 MP screenshot", in.screen_png},
                                                           {"1 MP photo", in.small_png}};
    for (const auto &f : files) {
        const std::string path = f.second;
        report(std::string(f.first) + " file", "libpng file",
               race(rounds, [&] { read_into_fresh_record(rasterkit_readimage_png, path); },
                    [&] { bench::libpng_read_file(path); }),
               Goal::at_most, 1.05);
        const bytes png = slurp(path);
        report(std::string(f.first) + " memory", "libpng memory",
               race(rounds,
                    [&] {
                        rasterkit_image *image = nullptr;
                        rasterkit_image_new(&image, 0, 0);
                        rasterkit_pngbytebuffer_to_img(image, png.data(), static_cast<std::int32_t>(png.size()));
                        rasterkit_image_delete(&image);
                    },
                    [&] { bench::libpng_read_memory(png); }),
               Goal::at_most, 1.05);
        report(std::string(f.first) + " file", "stb_image",
               race(std::max(3, rounds / 2), [&] { read_into_fresh_record(rasterkit_readimage_png, path); },
                    [&] { bench::stb_read(path); }),
               Goal::info, 0);
    }
}

void png_writes(const bench::Inputs &in, int rounds) {
    std::printf("PNG write of an RGBA image (the same libpng call alone vs rasterkit)\n");
    for (const auto &f : {std::make_pair("12 MP photo", in.photo_png_rgba), std::make_pair("12 MP screenshot", in.screen_png)}) {
        Loaded image(f.second);
        const std::string path = std::string(output_dir) + "/rasterkit-bench-out.png";
        report(std::string(f.first) + " file", "libpng file",
               race(rounds, [&] { rasterkit_writeimage_png(path.c_str(), image.image); },
                    [&] { bench::libpng_write_file(path, image.image->data, image.width(), image.height()); }),
               Goal::at_most, 1.05);
        const std::int32_t needed = rasterkit_pngbytebufferlen(image.image);
        bytes ours(static_cast<std::size_t>(needed)), theirs(static_cast<std::size_t>(needed));
        report(std::string(f.first) + " memory", "libpng memory",
               race(rounds,
                    [&] {
                        std::int32_t length = 0;
                        rasterkit_pngbytebuffer_from_img(image.image, ours.data(), needed, &length);
                    },
                    [&] { bench::libpng_write_memory(theirs, image.image->data, image.width(), image.height()); }),
               Goal::at_most, 1.05);
    }
}

void jpeg_codec(const bench::Inputs &in, int rounds) {
    std::printf("JPEG read into a fresh buffer (libjpeg-turbo alone, stb_image vs rasterkit)\n");
    for (const auto &f : {std::make_pair("12 MP q90", in.photo_jpeg), std::make_pair("1 MP q90", in.small_jpeg)}) {
        const std::string path = f.second;
        auto ours = [&] { read_into_fresh_record(rasterkit_readimage_jpeg, path); };
        report(f.first, "libjpeg JCS_EXT_RGBA", race(rounds, ours, [&] { bench::libjpeg_read_rgba(path); }), Goal::at_most, 1.08);
        report(f.first, "libjpeg RGB scanlines", race(rounds, ours, [&] { bench::libjpeg_read_rgb(path); }), Goal::info, 0);
        report(f.first, "stb_image", race(rounds, ours, [&] { bench::stb_read(path); }), Goal::faster_by, 1.18);
    }
    std::printf("JPEG write at quality 90\n");
    Loaded image(in.photo_png_rgba);
    const bytes rgb = image.rgb();
    const std::string path = std::string(output_dir) + "/rasterkit-bench-out.jpg";
    auto ours = [&] { rasterkit_writeimage_jpeg(path.c_str(), image.image, 90); };
    report("12 MP photo", "libjpeg from RGB",
           race(rounds, ours, [&] { bench::libjpeg_write_rgb(path, rgb.data(), image.width(), image.height(), 90); }),
           Goal::at_most, 1.08);
    report("12 MP photo", "stb_image_write",
           race(std::max(3, rounds / 3), ours, [&] { bench::stb_write_jpeg(path, rgb.data(), image.width(), image.height(), 90); }),
           Goal::info, 0);
}

void bmp_codec(const bench::Inputs &in, int rounds) {
    std::printf("BMP 24-bit, 12 MP (files on tmpfs)\n");
    const std::string shm_copy = std::string(output_dir) + "/rasterkit-bench-in.bmp";
    {
        const bytes file = slurp(in.photo_bmp);
        std::ofstream(shm_copy, std::ios::binary).write(reinterpret_cast<const char *>(file.data()), static_cast<std::streamsize>(file.size()));
    }
    report("read", "stb_image", race(rounds, [&] { read_into_fresh_record(rasterkit_readimage_bmp, shm_copy); },
                                     [&] { bench::stb_read(shm_copy); }),
           Goal::faster_by, 1.8);
    Loaded image(in.photo_bmp);
    const bytes rgb = image.rgb();
    const std::string path = std::string(output_dir) + "/rasterkit-bench-out.bmp";
    report("write", "stb_image_write", race(rounds, [&] { rasterkit_writeimage_bmp(path.c_str(), image.image); },
                                            [&] { bench::stb_write_bmp(path, rgb.data(), image.width(), image.height()); }),
           Goal::faster_by, 1.4);
    std::remove(shm_copy.c_str());
    std::remove(path.c_str());
}

void image_operations(int rounds) {
    std::printf("Image operations against memcpy into a fresh buffer (clear: memset), ns per pixel\n");
    struct Op {
        const char *name;
        double target;
        std::vector<double> ns_per_pixel;
        std::vector<double> reference_ns_per_pixel;
    };
    std::vector<Op> ops = {{"flipx", 1.5, {}}, {"flipy", 1.5, {}}, {"transpose", 1.5, {}},
                           {"copy", 1.2, {}},  {"resize", 1.2, {}}, {"clear", 1.1, {}}};
    const int sides[] = {1024, 2048, 4096, 8192};  // 1, 4, 16 and 64 MP
    for (int side : sides) {
        const double pixels = static_cast<double>(side) * side;
        const std::size_t bytes_count = 4u * static_cast<std::size_t>(side) * static_cast<std::size_t>(side);
        rasterkit_image *image = nullptr;
        rasterkit_image *copy = nullptr;
        rasterkit_image_new(&image, side, side);
        rasterkit_image_new(&copy, 1, 1);
        std::memset(image->data, 0x5A, bytes_count);
        auto fresh_memcpy = [&] {
            void *p = std::malloc(bytes_count);
            std::memcpy(p, image->data, bytes_count);
            keep(p);
            std::free(p);
        };
        auto warm_memset = [&] {
            std::memset(image->data, 0, bytes_count);
            keep(image->data);
        };
        const std::function<void()> jobs[] = {
            [&] { rasterkit_image_flipx(image); },
            [&] { rasterkit_image_flipy(image); },
            [&] { rasterkit_transpose_image(image); },
            [&] { rasterkit_image_copy(copy, image); },
            [&] { rasterkit_image_resize(image, side, side); },
            [&] { rasterkit_image_clear(image); },
        };
        const int op_rounds = side >= 8192 ? std::max(3, rounds / 2) : rounds;
        std::printf(" %d MP\n", side * side >> 20);
        for (std::size_t i = 0; i < ops.size(); ++i) {
            const bool is_clear = std::string(ops[i].name) == "clear";
            const Race r = race(op_rounds, jobs[i], is_clear ? std::function<void()>(warm_memset) : fresh_memcpy);
            ops[i].ns_per_pixel.push_back(r.ours * 1e6 / pixels);
            ops[i].reference_ns_per_pixel.push_back(r.theirs * 1e6 / pixels);
            char label[64];
            std::snprintf(label, sizeof label, "%s (%.3f ns/px)", ops[i].name, r.ours * 1e6 / pixels);
            const bool checked = side >= 4096;
            report(label, is_clear ? "memset" : "memcpy fresh", r, checked ? Goal::at_most : Goal::info, ops[i].target);
        }
        rasterkit_image_delete(&copy);
        rasterkit_image_delete(&image);
    }
    std::printf(" cost per pixel at 64 MP against 16 MP (target <= 1.25x)\n");
    for (const Op &op : ops) {
        const double growth = op.ns_per_pixel[3] / op.ns_per_pixel[2];
        const bool ok = growth <= 1.25;
        (ok ? targets_met : targets_missed)++;
        const double reference_growth = op.reference_ns_per_pixel[3] / op.reference_ns_per_pixel[2];
        std::printf("  %-10s 1 MP %.3f  4 MP %.3f  16 MP %.3f  64 MP %.3f ns/px  64/16 = %.3f  %-6s (its reference: %.3f)\n",
                    op.name, op.ns_per_pixel[0], op.ns_per_pixel[1], op.ns_per_pixel[2], op.ns_per_pixel[3], growth,
                    ok ? "met" : "MISSED", reference_growth);
    }
}

// Child mode: the peak resident memory a single read adds.
int peak_child(const std::string &kind, const std::string &path) {
    const bytes png = kind == "png-memory" ? slurp(path) : bytes();
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, 0, 0);
    rusage before {};
    getrusage(RUSAGE_SELF, &before);
    if (kind == "png") rasterkit_readimage_png(path.c_str(), image);
    if (kind == "png-memory") rasterkit_pngbytebuffer_to_img(image, png.data(), static_cast<std::int32_t>(png.size()));
    if (kind == "jpeg") rasterkit_readimage_jpeg(path.c_str(), image);
    if (kind == "bmp") rasterkit_readimage_bmp(path.c_str(), image);
    rusage after {};
    getrusage(RUSAGE_SELF, &after);
    std::printf("%ld %ld %d %d\n", before.ru_maxrss, after.ru_maxrss, image->width, image->height);
    rasterkit_image_delete(&image);
    return 0;
}

void peak_memory(const bench::Inputs &in) {
    std::printf("Peak memory of one read into an empty record, above the process's baseline\n");
    const std::pair<const char *, std::string> readers[] = {
        {"png", in.photo_png_rgba}, {"png-memory", in.photo_png_rgba}, {"jpeg", in.photo_jpeg}, {"bmp", in.photo_bmp}};
    for (const auto &r : readers) {
        int fds[2];
        if (pipe(fds) != 0) return;
        const pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            execl("/proc/self/exe", "rasterkit_bench", "peak", r.first, r.second.c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        char text[256] = {};
        const ssize_t got = read(fds[0], text, sizeof text - 1);
        close(fds[0]);
        waitpid(pid, nullptr, 0);
        long before_kb = 0, after_kb = 0;
        int w = 0, h = 0;
        if (got <= 0 || std::sscanf(text, "%ld %ld %d %d", &before_kb, &after_kb, &w, &h) != 4) continue;
        const double image_kb = 4.0 * w * h / 1024.0;
        const double ratio = (after_kb - before_kb) / image_kb;
        const bool checked = std::string(r.first) != "bmp";
        const bool ok = ratio <= 1.2;
        if (checked) (ok ? targets_met : targets_missed)++;
        std::printf("  %-12s %6.1f MiB above baseline, one RGBA image %6.1f MiB: %.3fx  %s\n", r.first,
                    (after_kb - before_kb) / 1024.0, image_kb / 1024.0, ratio,
                    checked ? (ok ? "target <= 1.20x met" : "target <= 1.20x MISSED") : "");
    }
}

}  // namespace

int main(int argc, char **argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "make-inputs" && argc == 4) return bench::make_inputs(argv[2], argv[3]) ? 0 : 1;
    if (mode == "peak" && argc == 4) return peak_child(argv[2], argv[3]);
    if (mode != "run" || argc < 3) {
        std::fprintf(stderr, "usage: rasterkit_bench make-inputs DIR PHOTO | run DIR [ROUNDS [SECTION]]\n");
        return 2;
    }
    const bench::Inputs in = bench::input_paths(argv[2]);
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 9;
    const std::string only = argc > 4 ? argv[4] : "";
    auto wanted = [&only](const char *section) { return only.empty() || only == section; };
    if (wanted("memory")) peak_memory(in);
    if (wanted("png-read")) png_reads(in, rounds);
    if (wanted("png-write")) png_writes(in, std::max(3, rounds / 3));
    if (wanted("jpeg")) jpeg_codec(in, rounds);
    if (wanted("bmp")) bmp_codec(in, rounds);
    if (wanted("ops")) image_operations(rounds);
    std::printf("%d targets met, %d missed\n", targets_met, targets_missed);
    return 0;
}
