// The JPEG codec against libjpeg called directly: the corpus, the RGBA
// shortcuts' identity with the classic RGB paths, fatal errors that now
// return, and round trips.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "support/reference_codecs.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

std::string jpeg_corpus() { return corpus_dir() + "/jpeg"; }

// The reference samples as the record holds them (Part of the codec's table:
// grey and RGB get alpha 255, four samples are kept as they are).
bytes as_rgba(const Decoded &d) {
    bytes out;
    const std::size_t n = static_cast<std::size_t>(d.width) * static_cast<std::size_t>(d.height);
    out.reserve(4 * n);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t *s = &d.samples[i * static_cast<std::size_t>(d.components)];
        switch (d.components) {
            case 1: out.insert(out.end(), {s[0], s[0], s[0], 255}); break;
            case 3: out.insert(out.end(), {s[0], s[1], s[2], 255}); break;
            default: out.insert(out.end(), {s[0], s[1], s[2], s[3]}); break;
        }
    }
    return out;
}

struct ReadResult {
    std::string out;
    std::string err;
};

ReadResult read_jpeg(const std::string &path, rasterkit_image *image) {
    OutputCapture err(2);
    OutputCapture out(1);
    rasterkit_readimage_jpeg(path.c_str(), image);
    ReadResult r;
    r.out = out.finish();
    r.err = err.finish();
    return r;
}

bool is_baseline(const bytes &jpeg) {
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) return true;
    return false;
}

}  // namespace

TEST(JpegCorpus, EveryFileDecodesLikeLibjpegOrFailsLeavingImageUnchanged) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    const auto files = files_below(jpeg_corpus(), {".jpg", ".jpeg"});
    ASSERT_GT(files.size(), 80u);
    int decoded = 0;
    for (const std::string &path : files) {
        const Decoded reference = reference_jpeg_file(path, false);
        Image image(3, 2);
        fill_pattern(image.get(), 6);
        const bytes before = image.pixels();
        const ReadResult r = read_jpeg(path, image.get());
        if (reference.ok && reference.components != 2) {
            ++decoded;
            ASSERT_EQ(image.width(), reference.width) << path;
            ASSERT_EQ(image.height(), reference.height) << path;
            EXPECT_TRUE(image.pixels() == as_rgba(reference)) << path;
            EXPECT_EQ(r.out, "") << path;
        } else if (!reference.ok) {
            EXPECT_EQ(image.pixels(), before) << path;
            EXPECT_EQ(image.width(), 3) << path;
            EXPECT_EQ(r.out, "") << path;
            if (!reference.too_large) {
                EXPECT_NE(r.err, "") << path << ": libjpeg's line should arrive on stderr";
            }
        }
        // At most the first warning and the fatal error.
        EXPECT_LE(std::count(r.err.begin(), r.err.end(), '\n'), 2) << path;
    }
    EXPECT_GT(decoded, 60);
}

TEST(JpegCorpus, RgbaOutputEqualsRgbAndGreyPathsWidened) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    int compared = 0;
    for (const std::string &path : files_below(jpeg_corpus(), {".jpg", ".jpeg"})) {
        const Decoded classic = reference_jpeg_file(path, false);
        if (!classic.ok || (classic.components != 1 && classic.components != 3)) continue;
        const Decoded rgba = reference_jpeg_file(path, true);
        ASSERT_TRUE(rgba.ok) << path;
        EXPECT_TRUE(rgba.samples == as_rgba(classic)) << path;
        ++compared;
    }
    EXPECT_GT(compared, 60);
}

TEST(JpegRead, GreyColourAndFourComponentFiles) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    Image grey;
    read_jpeg(jpeg_corpus() + "/generated/gray-4x2.jpg", grey.get());
    ASSERT_EQ(grey.width(), 4);
    ASSERT_EQ(grey.height(), 2);
    for (std::int32_t y = 0; y < 2; ++y)
        for (std::int32_t x = 0; x < 4; ++x) {
            const std::uint32_t p = grey.packed(x, y);
            EXPECT_EQ(p & 0xFF, (p >> 8) & 0xFF);
            EXPECT_EQ(p & 0xFF, (p >> 16) & 0xFF);
            EXPECT_EQ(p >> 24, 255u);
        }
    EXPECT_NEAR(static_cast<int>(grey.packed(3, 0) & 0xFF), 255, 2);

    const std::string cmyk = jpeg_corpus() + "/jpeg-decoder/mozilla/jpg-cmyk-1.jpg";
    const Decoded reference = reference_jpeg_file(cmyk, false);
    ASSERT_EQ(reference.components, 4);
    Image four;
    read_jpeg(cmyk, four.get());
    EXPECT_TRUE(four.pixels() == reference.samples);
}

TEST(JpegRead, TwoComponentsPrintOncePerPixelAndKeepOldRegion) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    Image image(3, 2);
    fill_pattern(image.get(), 2);
    const ReadResult r = read_jpeg(jpeg_corpus() + "/generated/twocomp-16x16.jpg", image.get());
    ASSERT_EQ(image.width(), 16);
    ASSERT_EQ(image.height(), 16);
    std::string expected;
    for (int i = 0; i < 256; ++i) expected += "rasterkit_read_jpeg: Doesn't know how to handle pixel size of 2\n.";
    EXPECT_EQ(r.out, expected);
    EXPECT_EQ(image.packed(2, 1), pattern_value(2, 1, 2));
    EXPECT_EQ(image.packed(3, 1), 0u);
    EXPECT_EQ(image.packed(0, 15), 0u);
}

TEST(JpegRead, TruncatedFileWarnsOnceAndStillDecodes) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    const std::string path = jpeg_corpus() + "/generated/testorig-cut3000.jpg";
    Image image;
    const ReadResult r = read_jpeg(path, image.get());
    EXPECT_EQ(image.width(), 227);
    EXPECT_EQ(image.height(), 149);
    EXPECT_NE(r.err.find("Premature end of JPEG file"), std::string::npos) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
}

TEST(JpegRead, FatalErrorsReturnLeavingImageUnchanged) {
    TempDir dir;
    const std::string empty = dir.file("empty.jpg");
    const std::string not_jpeg = dir.file("not.jpg");
    const std::string garbage = dir.file("garbage.jpg");
    write_file(empty, {});
    write_file(not_jpeg, bytes(100, 'x'));
    bytes broken = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10};
    broken.resize(200, 0x55);
    write_file(garbage, broken);
    std::vector<std::string> paths = {empty, not_jpeg, garbage};
    if (!corpus_dir().empty()) {
        paths.push_back(jpeg_corpus() + "/generated/testorig-sof-after-scan.jpg");  // fails in the finish step
        paths.push_back(jpeg_corpus() + "/libjpeg-turbo/monkey12.jpg");
    }
    for (const std::string &path : paths) {
        Image image(5, 4);
        fill_pattern(image.get(), 3);
        const bytes before = image.pixels();
        const std::uint8_t *buffer = image->data;
        const ReadResult r = read_jpeg(path, image.get());
        EXPECT_EQ(image->data, buffer) << path;
        EXPECT_EQ(image.pixels(), before) << path;
        EXPECT_EQ(r.out, "") << path;
        const auto lines = std::count(r.err.begin(), r.err.end(), '\n');
        EXPECT_GE(lines, 1) << path << ": libjpeg's line should arrive on stderr";
        EXPECT_LE(lines, 2) << path << ": " << r.err;
    }
}

TEST(JpegRead, HugeDeclaredSizeIsRefusedBeforeDecoding) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    Image image(2, 2);
    fill_pattern(image.get(), 1);
    const bytes before = image.pixels();
    read_jpeg(jpeg_corpus() + "/jpeg-decoder/crashtest/max_size.jpg", image.get());
    EXPECT_EQ(image.pixels(), before);
}

TEST(JpegRead, MissingFilePrintsOpenMessage) {
    TempDir dir;
    const std::string path = dir.file("absent.jpg");
    Image image(1, 1);
    const ReadResult r = read_jpeg(path, image.get());
    EXPECT_EQ(r.out, "rasterkit_readimage_jpeg: Error! " + path + " could not be opened!\n");
    EXPECT_EQ(image.width(), 1);
}

TEST(JpegWrite, BytesEqualTheClassicRgbPathAtBothQualities) {
    TempDir dir;
    const std::string path = dir.file("out.jpg");
    const std::int32_t sizes[][2] = {{1, 1}, {7, 3}, {16, 16}, {33, 17}, {100, 61}, {250, 9}};
    std::uint32_t seed = 1;
    for (const auto &size : sizes) {
        for (int quality : {90, 100, 75, 1}) {
            Image image(size[0], size[1]);
            fill_pattern(image.get(), seed++);
            rasterkit_writeimage_jpeg(path.c_str(), image.get(), quality);
            EXPECT_TRUE(read_file(path) == reference_jpeg_rgb_encoding(image.get(), quality))
                << size[0] << "x" << size[1] << " q" << quality;
        }
    }
}

TEST(JpegWrite, RoundTripKeepsSizeMakesAlphaOpaqueAndStaysNear) {
    TempDir dir;
    const std::string path = dir.file("smooth.jpg");
    Image image(48, 32);
    for (std::int32_t y = 0; y < 32; ++y)
        for (std::int32_t x = 0; x < 48; ++x)
            rasterkit_set_pixel_RGBA(image.get(), x, y, static_cast<std::uint8_t>(x * 5), static_cast<std::uint8_t>(y * 7), 128, 0);
    for (int quality : {90, 100}) {
        rasterkit_writeimage_jpeg(path.c_str(), image.get(), quality);
        EXPECT_TRUE(is_baseline(read_file(path))) << quality;
        Image back;
        rasterkit_readimage_jpeg(path.c_str(), back.get());
        ASSERT_EQ(back.width(), 48);
        ASSERT_EQ(back.height(), 32);
        int worst = 0;
        for (std::int32_t y = 0; y < 32; ++y)
            for (std::int32_t x = 0; x < 48; ++x) {
                const std::uint32_t a = image.packed(x, y), b = back.packed(x, y);
                ASSERT_EQ(b >> 24, 255u);
                for (int c = 0; c < 3; ++c)
                    worst = std::max(worst, std::abs(static_cast<int>((a >> (8 * c)) & 0xFF) - static_cast<int>((b >> (8 * c)) & 0xFF)));
            }
        EXPECT_LE(worst, quality == 100 ? 6 : 16) << quality;
    }
}

TEST(JpegWrite, FailuresReturnWithMessages) {
    TempDir dir;
    Image empty;
    const std::string zero = dir.file("zero.jpg");
    OutputCapture err(2);
    rasterkit_writeimage_jpeg(zero.c_str(), empty.get(), 90);  // libjpeg refuses an empty image
    Image one(64, 64);
    fill_pattern(one.get(), 1);
    if (file_exists("/dev/full")) rasterkit_writeimage_jpeg("/dev/full", one.get(), 90);
    const std::string text = err.finish();
    EXPECT_GE(std::count(text.begin(), text.end(), '\n'), 1) << text;

    const std::string bad = dir.file("no/such/dir.jpg");
    OutputCapture out(1);
    rasterkit_writeimage_jpeg(bad.c_str(), one.get(), 90);
    EXPECT_EQ(out.finish(), "rasterkit_writeimage_jpeg: Error! " + bad + " could not be opened!\n");
}
