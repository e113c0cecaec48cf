// PNG files and PNG bytes in memory, against libpng's simplified API called
// directly and against the public PngSuite.
#include <gtest/gtest.h>

#include "support/reference_codecs.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

bool is_corrupt_sample(const std::string &path) {
    const std::string name = path.substr(path.rfind('/') + 1);
    return name[0] == 'x';
}

void expect_same_as_reference(const Image &image, const Decoded &reference, const std::string &what) {
    ASSERT_TRUE(reference.ok) << what;
    ASSERT_EQ(image.width(), reference.width) << what;
    ASSERT_EQ(image.height(), reference.height) << what;
    EXPECT_TRUE(image.pixels() == reference.samples) << what;
}

}  // namespace

TEST(PngSuite, ValidFilesMatchLibpngFromFileAndMemory) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    int valid = 0;
    for (const std::string &path : files_below(corpus_dir() + "/pngsuite", {".png"})) {
        if (is_corrupt_sample(path)) continue;
        ++valid;
        const Decoded reference = reference_png_file(path);
        Image from_file(1, 1);
        OutputCapture out(1);
        rasterkit_readimage_png(path.c_str(), from_file.get());
        EXPECT_EQ(out.finish(), "") << path;
        expect_same_as_reference(from_file, reference, path);

        const bytes file = read_file(path);
        Image from_memory(1, 1);
        EXPECT_EQ(rasterkit_pngbytebuffer_to_img(from_memory.get(), file.data(), static_cast<std::int32_t>(file.size())), 0);
        expect_same_as_reference(from_memory, reference, path + " (memory)");
    }
    EXPECT_GE(valid, 161);
}

TEST(PngSuite, CorruptFilesFailAsDescribed) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    for (const std::string &path : files_below(corpus_dir() + "/pngsuite", {".png"})) {
        if (!is_corrupt_sample(path)) continue;
        const bool header_fine = path.find("xcsn0g01") != std::string::npos;
        Image image(2, 2);
        fill_pattern(image.get(), 1);
        const bytes before = image.pixels();
        OutputCapture out(1);
        rasterkit_readimage_png(path.c_str(), image.get());
        const std::string text = out.finish();
        if (header_fine) {
            EXPECT_EQ(text, "") << path;
            EXPECT_EQ(image.pixels(), before) << path;
        } else {
            EXPECT_EQ(text.rfind("readimage_png: error: ", 0), 0u) << path << ": " << text;
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << path;
            EXPECT_EQ(image->data, nullptr) << path;
            EXPECT_EQ(image.width(), 0) << path;
        }
        const bytes file = read_file(path);
        Image from_memory(2, 2);
        fill_pattern(from_memory.get(), 1);
        EXPECT_EQ(rasterkit_pngbytebuffer_to_img(from_memory.get(), file.data(), static_cast<std::int32_t>(file.size())), 0);
        EXPECT_EQ(from_memory.pixels(), before) << path;
    }
}

TEST(PngFile, MissingOrForeignFilesEmptyTheImage) {
    TempDir dir;
    const std::string missing = dir.file("missing.png");
    const std::string bmp = dir.file("really.png");
    Image one(1, 1);
    rasterkit_writeimage_bmp(bmp.c_str(), one.get());
    for (const std::string &path : {missing, bmp}) {
        Image image(3, 3);
        OutputCapture out(1);
        rasterkit_readimage_png(path.c_str(), image.get());
        const std::string text = out.finish();
        EXPECT_EQ(text.rfind("readimage_png: error: ", 0), 0u) << text;
        EXPECT_GT(text.size(), std::string("readimage_png: error: \n").size());
        EXPECT_EQ(image->data, nullptr);
        EXPECT_EQ(image.height(), 0);
    }
}

TEST(PngFile, TruncatedImageDataLeavesImageUnchanged) {
    Image source(64, 64);
    fill_pattern(source.get(), 5);
    TempDir dir;
    const std::string path = dir.file("cut.png");
    rasterkit_writeimage_png(path.c_str(), source.get());
    bytes file = read_file(path);
    file.resize(file.size() / 2);
    write_file(path, file);

    Image image(2, 2);
    fill_pattern(image.get(), 9);
    const bytes before = image.pixels();
    OutputCapture out(1);
    rasterkit_readimage_png(path.c_str(), image.get());
    EXPECT_EQ(out.finish(), "");
    EXPECT_EQ(image.pixels(), before);
}

TEST(PngFile, RoundTripIsExactIncludingTransparentColours) {
    Image source(37, 19);
    fill_pattern(source.get(), 17);
    rasterkit_set_pixel_RGBA(source.get(), 0, 0, 200, 100, 50, 0);
    TempDir dir;
    const std::string path = dir.file("round.png");
    rasterkit_writeimage_png(path.c_str(), source.get());
    Image back(1, 1);
    rasterkit_readimage_png(path.c_str(), back.get());
    ASSERT_EQ(back.width(), 37);
    EXPECT_EQ(back.pixels(), source.pixels());
    EXPECT_EQ(back.packed(0, 0), pack(200, 100, 50, 0));
}

TEST(PngFile, SmallRgbaFileWithoutGammaReadsItsSamples) {
    const bytes samples = {1, 2, 3, 4, 50, 60, 70, 80, 255, 0, 255, 0, 9, 8, 7, 6, 5, 4, 3, 2, 100, 101, 102, 103};
    TempDir dir;
    const std::string path = dir.file("tiny.png");
    write_file(path, make_png(3, 2, samples));
    Image image;
    rasterkit_readimage_png(path.c_str(), image.get());
    ASSERT_EQ(image.width(), 3);
    ASSERT_EQ(image.height(), 2);
    EXPECT_EQ(image.pixels(), samples);
}

TEST(PngFile, WritingWithoutPixelsOrToBadPathMakesNoFileSilently) {
    TempDir dir;
    Image empty;
    const std::string path = dir.file("empty.png");
    OutputCapture out(1);
    rasterkit_writeimage_png(path.c_str(), empty.get());
    Image one(1, 1);
    rasterkit_writeimage_png(dir.file("no/such/dir.png").c_str(), one.get());
    EXPECT_EQ(out.finish(), "");
    EXPECT_FALSE(file_exists(path));
}

TEST(PngMemory, DecoderChecksItsArguments) {
    const bytes png = make_png(1, 1, {1, 2, 3, 4});
    Image image(2, 2);
    fill_pattern(image.get(), 3);
    const bytes before = image.pixels();
    OutputCapture out(1);
    EXPECT_EQ(rasterkit_pngbytebuffer_to_img(image.get(), nullptr, 100), -1);
    EXPECT_EQ(rasterkit_pngbytebuffer_to_img(image.get(), png.data(), 7), -1);
    EXPECT_EQ(rasterkit_pngbytebuffer_to_img(image.get(), png.data(), -1), -1);
    EXPECT_EQ(rasterkit_pngbytebuffer_to_img(nullptr, png.data(), static_cast<std::int32_t>(png.size())), -1);
    const bytes not_png(64, 'x');
    EXPECT_EQ(rasterkit_pngbytebuffer_to_img(image.get(), not_png.data(), 64), 0);
    EXPECT_EQ(out.finish(), "");
    EXPECT_EQ(image.pixels(), before);
}

TEST(PngMemory, MeasureEqualsEncodedLengthAndRoundTrips) {
    Image source(50, 30);
    fill_pattern(source.get(), 8);
    const std::int32_t needed = rasterkit_pngbytebufferlen(source.get());
    ASSERT_GT(needed, 0);
    bytes buffer(static_cast<std::size_t>(needed) + 100, 0);
    std::int32_t length = -1;
    EXPECT_EQ(rasterkit_pngbytebuffer_from_img(source.get(), buffer.data(), static_cast<std::int32_t>(buffer.size()), &length), 0);
    EXPECT_EQ(length, needed);

    Image back(1, 1);
    EXPECT_EQ(rasterkit_pngbytebuffer_to_img(back.get(), buffer.data(), length), 0);
    EXPECT_EQ(back.pixels(), source.pixels());

    // The memory encoding is the same PNG the file writer makes.
    TempDir dir;
    const std::string path = dir.file("same.png");
    rasterkit_writeimage_png(path.c_str(), source.get());
    EXPECT_EQ(read_file(path), bytes(buffer.begin(), buffer.begin() + length));
}

TEST(PngMemory, EncoderCapacityCases) {
    Image source(20, 20);
    fill_pattern(source.get(), 4);
    const std::int32_t needed = rasterkit_pngbytebufferlen(source.get());
    struct Case {
        const char *name;
        bool with_buffer;
        std::int32_t capacity;
        std::int32_t expected_length;
    };
    const Case cases[] = {
        {"exact", true, needed, needed},
        {"one short", true, needed - 1, needed},
        {"zero", true, 0, needed},
        {"negative", true, -5, needed},
        {"null buffer", false, 1000000, needed},
    };
    for (const Case &c : cases) {
        bytes buffer(static_cast<std::size_t>(needed) + 8, 0xAA);
        std::int32_t length = -1;
        EXPECT_EQ(rasterkit_pngbytebuffer_from_img(source.get(), c.with_buffer ? buffer.data() : nullptr, c.capacity, &length), 0);
        EXPECT_EQ(length, c.expected_length) << c.name;
        const std::size_t room = c.capacity > 0 ? static_cast<std::size_t>(c.capacity) : 0;
        for (std::size_t i = room; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], 0xAA) << c.name << ": wrote past capacity at " << i;
    }
    bytes buffer(static_cast<std::size_t>(needed));
    EXPECT_EQ(rasterkit_pngbytebuffer_from_img(source.get(), buffer.data(), needed, nullptr), 0);
    Image back;
    rasterkit_pngbytebuffer_to_img(back.get(), buffer.data(), needed);
    EXPECT_EQ(back.pixels(), source.pixels());
}

TEST(PngMemory, ImageWithoutPixelsMeasuresAndEncodesAsZero) {
    Image empty;
    EXPECT_EQ(rasterkit_pngbytebufferlen(empty.get()), 0);
    bytes buffer(100);
    std::int32_t length = -1;
    EXPECT_EQ(rasterkit_pngbytebuffer_from_img(empty.get(), buffer.data(), 100, &length), 0);
    EXPECT_EQ(length, 0);
}

TEST(PngMemory, HugeDeclaredSizeIsRefusedWithoutDecoding) {
    // A valid header claiming 1,000,000 x 1,000,000 pixels, then no data.
    Image small(1, 1);
    bytes png = make_png(1, 1, {0, 0, 0, 0});
    const std::size_t ihdr = 16;  // width and height follow the IHDR tag
    for (int i = 0; i < 2; ++i) {
        const std::uint32_t v = 1000000;
        png[ihdr + 4 * i] = static_cast<std::uint8_t>(v >> 24);
        png[ihdr + 4 * i + 1] = static_cast<std::uint8_t>(v >> 16);
        png[ihdr + 4 * i + 2] = static_cast<std::uint8_t>(v >> 8);
        png[ihdr + 4 * i + 3] = static_cast<std::uint8_t>(v);
    }
    // Fix the IHDR CRC so libpng takes the header.
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 12; i < 12 + 4 + 13; ++i) {
        crc ^= png[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc ^= 0xFFFFFFFFu;
    for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    Image image(2, 2);
    EXPECT_EQ(rasterkit_pngbytebuffer_to_img(image.get(), png.data(), static_cast<std::int32_t>(png.size())), 0);
    EXPECT_EQ(image.width(), 2);
}
