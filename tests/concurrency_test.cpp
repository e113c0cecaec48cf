// Calls on different images, files and buffers may run at the same time:
// many threads run the whole pipeline on their own data and must get
// exactly what a single-threaded run got. Run under ThreadSanitizer with
// -DRASTERKIT_TSAN=ON.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>

#include "support/test_support.h"

using namespace testing_support;

namespace {

constexpr int thread_count = 8;
constexpr int rounds = 3;

// Everything one pipeline produces, in order, so two runs compare whole.
bytes run_pipeline(std::uint32_t seed, const std::string &folder) {
    bytes record;
    auto keep = [&record](const bytes &b) { record.insert(record.end(), b.begin(), b.end()); };
    const std::int32_t width = 40 + static_cast<std::int32_t>(seed % 17);
    const std::int32_t height = 30 + static_cast<std::int32_t>(seed % 11);
    Image image(width, height);
    fill_pattern(image.get(), seed);
    rasterkit_image_flipx(image.get());
    rasterkit_transpose_image(image.get());
    rasterkit_image_flipy(image.get());
    keep(image.pixels());

    const char *names[] = {"a.bmp", "a.png", "a.jpg"};
    for (const char *name : names) {
        const std::string path = folder + "/" + name;
        rasterkit_writeimage(path.c_str(), image.get());
        keep(read_file(path));
        Image back(1, 1);
        rasterkit_readimage(path.c_str(), back.get());
        keep(back.pixels());
    }
    rasterkit_writeimage_jpeg((folder + "/q90.jpg").c_str(), image.get(), 90);
    keep(read_file(folder + "/q90.jpg"));

    const std::int32_t needed = rasterkit_pngbytebufferlen(image.get());
    bytes png(static_cast<std::size_t>(needed));
    std::int32_t length = 0;
    rasterkit_pngbytebuffer_from_img(image.get(), png.data(), needed, &length);
    keep(png);
    Image decoded;
    rasterkit_pngbytebuffer_to_img(decoded.get(), png.data(), length);
    keep(decoded.pixels());
    return record;
}

}  // namespace

TEST(Concurrency, ThreadsGetTheSingleThreadedResults) {
    TempDir dir;
    std::vector<std::string> folders;
    std::vector<bytes> expected;
    for (int t = 0; t < thread_count; ++t) {
        folders.push_back(dir.file("t" + std::to_string(t)));
        ::mkdir(folders.back().c_str(), 0755);
        expected.push_back(run_pipeline(static_cast<std::uint32_t>(t + 1), folders.back()));
    }
    std::vector<int> mismatches(thread_count, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t] {
            for (int r = 0; r < rounds; ++r)
                if (run_pipeline(static_cast<std::uint32_t>(t + 1), folders[static_cast<std::size_t>(t)]) != expected[static_cast<std::size_t>(t)])
                    ++mismatches[static_cast<std::size_t>(t)];
        });
    }
    for (std::thread &thread : threads) thread.join();
    for (int t = 0; t < thread_count; ++t) EXPECT_EQ(mismatches[static_cast<std::size_t>(t)], 0) << "thread " << t;
}
