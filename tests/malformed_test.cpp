// Hand-made hostile files (tests/data/malformed/) and the fuzzers' kept
// findings (tests/data/regressions/): every one is read through dispatch,
// the process survives, and the image is unchanged, emptied or validly
// sized as the format's rules say, with the expected message.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include "support/test_support.h"

using namespace testing_support;

namespace {

enum class Outcome { unchanged, emptied, sized, any };

struct Expectation {
    const char *file;
    Outcome outcome;
    const char *message;  // expected start of standard output; %s is the path
};

const Expectation expectations[] = {
    {"bmp-huge-dimensions.bmp", Outcome::unchanged, ""},
    {"bmp-min-width.bmp", Outcome::emptied, ""},
    {"bmp-large-no-pixels.bmp", Outcome::sized, ""},
    {"bmp-absurd-depth.bmp", Outcome::sized, ""},
    {"bmp-offset-beyond-end.bmp", Outcome::sized, ""},
    {"bmp-truncated-pixels.bmp", Outcome::sized, ""},
    {"bmp-header-cut.bmp", Outcome::unchanged, "rasterkit_readimage_bmp: %s has file-signature BM. Not a bitmap (BM)...\n"},
    {"bmp-only-magic.bmp", Outcome::unchanged, "rasterkit_readimage_bmp: %s has file-signature BM. Not a bitmap (BM)...\n"},
    {"bmp-zero-planes.bmp", Outcome::unchanged, "rasterkit_readimage_bmp: error! non-standard colorplane number 0\n"},
    {"bmp-rle.bmp", Outcome::unchanged, "rasterkit_readimage_bmp: %s is not an RGB bitmap."},
    {"png-huge-dimensions.png", Outcome::unchanged, ""},
    {"png-limit-plus-one.png", Outcome::unchanged, ""},
    {"png-zero-width.png", Outcome::emptied, "readimage_png: error: "},
    {"png-bad-depth.png", Outcome::emptied, "readimage_png: error: "},
    {"png-idat-garbage.png", Outcome::unchanged, ""},
    {"png-truncated.png", Outcome::any, ""},
    {"png-signature-only.png", Outcome::emptied, "readimage_png: error: "},
    {"jpeg-65500-square.jpg", Outcome::unchanged, ""},
    {"jpeg-progressive-65500.jpg", Outcome::unchanged, ""},
    {"jpeg-zero-height.jpg", Outcome::unchanged, ""},
    {"jpeg-header-only.jpg", Outcome::unchanged, ""},
    {"jpeg-soi-only.jpg", Outcome::unchanged, ""},
    {"jpeg-bad-segment-length.jpg", Outcome::unchanged, ""},
    {"jpeg-no-huffman-scan.jpg", Outcome::sized, ""},  // libjpeg falls back to the standard tables
};

std::string data_dir(const char *folder) { return std::string(RASTERKIT_TEST_DATA_DIR) + "/" + folder; }

// A record is either empty or sized with a buffer of exactly its size.
void expect_valid_record(const rasterkit_image *image, const std::string &what) {
    if (image->data == nullptr) {
        EXPECT_EQ(image->width, 0) << what;
        EXPECT_EQ(image->height, 0) << what;
        return;
    }
    ASSERT_GT(image->width, 0) << what;
    ASSERT_GT(image->height, 0) << what;
    const std::size_t last = 4u * static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height) - 1;
    volatile std::uint8_t touch = image->data[last];  // the sanitizers check the buffer's extent
    (void)touch;
}

}  // namespace

TEST(Malformed, EveryHandMadeFileIsHandledAsItsFormatSays) {
    const auto files = files_below(data_dir("malformed"), {".bmp", ".png", ".jpg"});
    ASSERT_EQ(files.size(), sizeof expectations / sizeof expectations[0]) << "a file without an expectation";
    for (const Expectation &e : expectations) {
        const std::string path = data_dir("malformed") + "/" + e.file;
        ASSERT_TRUE(file_exists(path)) << path;
        Image image(2, 2);
        fill_pattern(image.get(), 5);
        const bytes before = image.pixels();
        OutputCapture err(2);
        OutputCapture out(1);
        rasterkit_readimage(path.c_str(), image.get());
        const std::string text = out.finish();
        err.finish();

        std::string expected = e.message;
        const std::size_t at = expected.find("%s");
        if (at != std::string::npos) expected.replace(at, 2, path);
        EXPECT_EQ(text.rfind(expected, 0), 0u) << e.file << ": " << text;
        expect_valid_record(image.get(), e.file);
        switch (e.outcome) {
            case Outcome::unchanged: EXPECT_EQ(image.pixels(), before) << e.file; break;
            case Outcome::emptied: EXPECT_EQ(image->data, nullptr) << e.file; break;
            case Outcome::sized: EXPECT_NE(image->data, nullptr) << e.file; break;
            case Outcome::any: break;
        }
    }
}

TEST(Malformed, HeadersClaimingHugeSizesAllocateNothingLarge) {
    // Each claims far more pixels than a record holds, or as many as fit
    // with no data behind them; none may cost more than a little memory.
    const char *files[] = {"bmp-huge-dimensions.bmp", "png-huge-dimensions.png", "png-limit-plus-one.png",
                           "jpeg-65500-square.jpg", "jpeg-progressive-65500.jpg"};
    constexpr long allowed_growth_kb = 64 * 1024;
    rusage before {};
    getrusage(RUSAGE_SELF, &before);
    for (const char *name : files) {
        const std::string path = data_dir("malformed") + "/" + name;
        Image image(2, 2);
        OutputCapture err(2);
        OutputCapture out(1);
        rasterkit_readimage(path.c_str(), image.get());
        const bytes file = read_file(path);
        rasterkit_pngbytebuffer_to_img(image.get(), file.data(), static_cast<std::int32_t>(file.size()));
        EXPECT_EQ(image.width(), 2) << name;
    }
    rusage after {};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, allowed_growth_kb);
}

TEST(Malformed, FuzzerFindingsStayFixed) {
    const auto files = files_below(data_dir("regressions"), {""});
    for (const std::string &path : files) {
        if (path.size() > 3 && path.compare(path.size() - 3, 3, ".md") == 0) continue;
        Image image(2, 2);
        OutputCapture err(2);
        OutputCapture out(1);
        rasterkit_readimage(path.c_str(), image.get());
        const bytes file = read_file(path);
        Image from_memory(2, 2);
        rasterkit_pngbytebuffer_to_img(from_memory.get(), file.data(), static_cast<std::int32_t>(file.size()));
        out.finish();
        err.finish();
        expect_valid_record(image.get(), path);
        expect_valid_record(from_memory.get(), path);
    }
}
