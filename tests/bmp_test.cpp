// The BMP codec: decoding by depth, orientation, rejection messages, the
// writer's exact bytes, the header diagnostic and the public BMP suite.
#include <gtest/gtest.h>

#include <algorithm>

#include "bmp/bmp.h"
#include "support/bmp_builder.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

// Reads `file` (written to a temporary path) into `image`, returning stdout.
std::string read_bmp(const bytes &file, rasterkit_image *image, const TempDir &dir) {
    const std::string path = dir.file("in.bmp");
    write_file(path, file);
    OutputCapture out(1);
    rasterkit_readimage_bmp(path.c_str(), image);
    return out.finish();
}

// A 24-bit file of `width` x `rows` whose pixel x of stored row k is
// (k * 16 + x, 100 + k, 200 - x) as RGB.
BmpBuilder distinct_rows_24(std::int32_t width, std::int32_t rows) {
    BmpBuilder b;
    b.width = width;
    b.height = rows;
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
    for (std::int32_t k = 0; k < rows; ++k) {
        std::vector<std::uint8_t> row(stride, 0);
        for (std::int32_t x = 0; x < width; ++x) {
            row[3 * x + 0] = static_cast<std::uint8_t>(200 - x);
            row[3 * x + 1] = static_cast<std::uint8_t>(100 + k);
            row[3 * x + 2] = static_cast<std::uint8_t>(k * 16 + x);
        }
        b.pixels.insert(b.pixels.end(), row.begin(), row.end());
    }
    return b;
}

std::uint32_t stored_pixel(std::int32_t k, std::int32_t x) {
    return pack(static_cast<std::uint8_t>(k * 16 + x), static_cast<std::uint8_t>(100 + k), static_cast<std::uint8_t>(200 - x), 255);
}

}  // namespace

TEST(BmpRead, OrientationFollowsSignsOfSizeTimesResolution) {
    struct Case {
        std::int32_t width_sign, hrez, height_sign, vrez;
        bool first_row_at_bottom, mirrored;
    };
    const Case cases[] = {
        {1, 3780, 1, 3780, true, false},     // usual bottom-up
        {1, 3780, -1, 3780, false, false},   // top-down
        {1, 3780, 1, 0, false, false},       // zero vertical resolution keeps file order
        {1, 3780, -1, 0, false, false},
        {1, 3780, 1, -3780, false, false},   // negative resolution reverses the usual outcome
        {1, 3780, -1, -3780, true, false},
        {-1, 3780, 1, 3780, true, true},     // negative width mirrors
        {1, -3780, 1, 3780, true, true},     // so does a negative horizontal resolution
        {-1, -3780, 1, 3780, true, false},
        {-1, 0, 1, 3780, true, false},       // zero horizontal resolution never mirrors
        // products beyond 32 bits are taken exactly
        {1, INT32_MIN, 1, INT32_MAX, true, true},
    };
    TempDir dir;
    for (const Case &c : cases) {
        BmpBuilder b = distinct_rows_24(4, 3);
        b.width *= c.width_sign;
        b.height *= c.height_sign;
        b.horizontalrez = c.hrez;
        b.verticalrez = c.vrez;
        Image image(1, 1);
        EXPECT_EQ(read_bmp(b.build(), image.get(), dir), "");
        ASSERT_EQ(image.width(), 4);
        ASSERT_EQ(image.height(), 3);
        for (std::int32_t k = 0; k < 3; ++k) {
            for (std::int32_t x = 0; x < 4; ++x) {
                const std::int32_t y = c.first_row_at_bottom ? 2 - k : k;
                const std::int32_t to_x = c.mirrored ? 3 - x : x;
                EXPECT_EQ(image.packed(to_x, y), stored_pixel(k, x))
                    << "width sign " << c.width_sign << " hrez " << c.hrez << " height sign " << c.height_sign
                    << " vrez " << c.vrez << " row " << k << " x " << x;
            }
        }
    }
}

TEST(BmpRead, EightBitIndicesReadAsGreyIgnoringPalette) {
    BmpBuilder b;
    b.bitsperpixel = 8;
    b.width = 3;
    b.height = 1;
    b.verticalrez = 0;
    b.gap.assign(256 * 4, 0);
    b.gap[7 * 4 + 2] = 255;  // palette entry 7 is pure red
    b.pixels = {7, 0, 200, 0};
    TempDir dir;
    Image image;
    read_bmp(b.build(), image.get(), dir);
    ASSERT_EQ(image.width(), 3);
    EXPECT_EQ(image.packed(0, 0), pack(7, 7, 7, 255));
    EXPECT_EQ(image.packed(1, 0), pack(0, 0, 0, 255));
    EXPECT_EQ(image.packed(2, 0), pack(200, 200, 200, 255));
}

TEST(BmpRead, ThirtyTwoBitKeepsFourthByteAsAlpha) {
    BmpBuilder b;
    b.bitsperpixel = 32;
    b.width = 2;
    b.height = 1;
    b.pixels = {10, 20, 30, 0, 40, 50, 60, 128};  // B, G, R, A
    TempDir dir;
    Image image;
    read_bmp(b.build(), image.get(), dir);
    EXPECT_EQ(image.packed(0, 0), pack(30, 20, 10, 0));
    EXPECT_EQ(image.packed(1, 0), pack(60, 50, 40, 128));
}

TEST(BmpRead, UndecodedDepthsGiveTransparentBlackSilently) {
    TempDir dir;
    for (std::uint16_t depth : {1, 4, 16, 48, 65535}) {
        BmpBuilder b;
        b.bitsperpixel = depth;
        b.width = 5;
        b.height = 3;
        b.pixels.assign(64, 0xAB);
        Image image(7, 7);
        fill_pattern(image.get(), 1);
        EXPECT_EQ(read_bmp(b.build(), image.get(), dir), "") << depth;
        ASSERT_EQ(image.width(), 5) << depth;
        ASSERT_EQ(image.height(), 3) << depth;
        for (std::uint8_t v : image.pixels()) ASSERT_EQ(v, 0) << depth;
    }
}

TEST(BmpRead, BytesTheFileLacksReadAsZeroThenRepeatThePreviousRow) {
    BmpBuilder b = distinct_rows_24(2, 3);
    b.height = -3;  // top-down, so stored row k is image row k
    b.pixels.resize(8 + 3);  // row 0 whole, row 1 cut after 3 bytes, row 2 missing
    TempDir dir;
    Image image;
    read_bmp(b.build(), image.get(), dir);
    ASSERT_EQ(image.height(), 3);
    EXPECT_EQ(image.packed(0, 0), stored_pixel(0, 0));
    EXPECT_EQ(image.packed(0, 1), stored_pixel(1, 0));
    EXPECT_EQ(image.packed(1, 1), stored_pixel(0, 1));  // the rest of row 0 stayed in the buffer
    EXPECT_EQ(image.packed(1, 2), stored_pixel(0, 1));

    BmpBuilder past_end = distinct_rows_24(2, 1);
    past_end.pixeloffset = 5000;
    read_bmp(past_end.build(), image.get(), dir);
    ASSERT_EQ(image.width(), 2);
    EXPECT_EQ(image.packed(1, 0), pack(0, 0, 0, 255));
}

TEST(BmpRead, LongerInfoHeadersAreSkippedByPixelOffset) {
    TempDir dir;
    for (std::uint32_t header : {108u, 124u}) {
        BmpBuilder b = distinct_rows_24(3, 2);
        b.headersize = header;
        b.gap.assign(header - 40, 0xEE);
        Image image;
        read_bmp(b.build(), image.get(), dir);
        ASSERT_EQ(image.width(), 3) << header;
        EXPECT_EQ(image.packed(2, 1), stored_pixel(0, 2)) << header;
    }
}

TEST(BmpRead, RejectedFilesPrintOneMessageAndLeaveImageUnchanged) {
    struct Case {
        const char *name;
        BmpBuilder file;
        std::size_t truncate_to;  // 0: whole file
        std::string message;  // %s stands for the path
    };
    BmpBuilder not_bm;
    not_bm.magic[0] = 'B';
    not_bm.magic[1] = 'A';
    BmpBuilder planes0;
    planes0.colorplanes = 0;
    BmpBuilder planes_and_compression;
    planes_and_compression.colorplanes = 2;
    planes_and_compression.compression = 1;
    BmpBuilder bitfields;
    bitfields.compression = 3;
    const Case cases[] = {
        {"signature", not_bm, 0, "rasterkit_readimage_bmp: %s has file-signature BA. Not a bitmap (BM)...\n"},
        {"53 bytes", BmpBuilder{}, 53, "rasterkit_readimage_bmp: %s has file-signature BM. Not a bitmap (BM)...\n"},
        {"1 byte", BmpBuilder{}, 1, "rasterkit_readimage_bmp: %s has file-signature B?. Not a bitmap (BM)...\n"},
        {"planes", planes0, 0, "rasterkit_readimage_bmp: error! non-standard colorplane number 0\n"},
        {"planes first", planes_and_compression, 0, "rasterkit_readimage_bmp: error! non-standard colorplane number 2\n"},
        {"compression", bitfields, 0,
         "rasterkit_readimage_bmp: %s is not an RGB bitmap. rasterkit currently only handles RGB bitmaps...\n"},
    };
    TempDir dir;
    const std::string path = dir.file("in.bmp");
    for (const Case &c : cases) {
        bytes file = c.file.build();
        if (c.truncate_to != 0) file.resize(c.truncate_to);
        Image image(2, 3);
        fill_pattern(image.get(), 4);
        const bytes before = image.pixels();
        const std::uint8_t *buffer = image->data;
        std::string expected = c.message;
        const std::size_t at = expected.find("%s");
        if (at != std::string::npos) expected.replace(at, 2, path);
        EXPECT_EQ(read_bmp(file, image.get(), dir), expected) << c.name;
        EXPECT_EQ(image->data, buffer) << c.name;
        EXPECT_EQ(image.width(), 2) << c.name;
        EXPECT_EQ(image.pixels(), before) << c.name;
    }
}

TEST(BmpRead, MissingFileAndFiftyFourByteMinimum) {
    TempDir dir;
    const std::string missing = dir.file("missing.bmp");
    Image image(1, 1);
    OutputCapture out(1);
    rasterkit_readimage_bmp(missing.c_str(), image.get());
    EXPECT_EQ(out.finish(), "rasterkit_readimage_bmp: " + missing + " cannot be opened!\n");

    BmpBuilder header_only;  // 54 bytes, 1x1, no pixel data
    EXPECT_EQ(read_bmp(header_only.build(), image.get(), dir), "");
    EXPECT_EQ(image.packed(0, 0), pack(0, 0, 0, 255));
}

TEST(BmpRead, ZeroOrUnrepresentableSizesGiveEmptyImage) {
    TempDir dir;
    for (std::int32_t width : {0, INT32_MIN}) {
        BmpBuilder b;
        b.width = width;
        Image image(3, 3);
        EXPECT_EQ(read_bmp(b.build(), image.get(), dir), "");
        EXPECT_EQ(image->data, nullptr);
        EXPECT_EQ(image.width(), 0);
    }
}

TEST(BmpRead, SizeBeyondRecordLimitLeavesImageUnchanged) {
    BmpBuilder b;
    b.width = INT32_MAX;
    b.height = -INT32_MAX;
    TempDir dir;
    Image image(2, 2);
    fill_pattern(image.get(), 3);
    const bytes before = image.pixels();
    EXPECT_EQ(read_bmp(b.build(), image.get(), dir), "");
    EXPECT_EQ(image.pixels(), before);
}

namespace {

bytes write_bmp(const rasterkit_image *image, const TempDir &dir) {
    const std::string path = dir.file("out.bmp");
    rasterkit_writeimage_bmp(path.c_str(), image);
    return read_file(path);
}

std::uint32_t le32(const bytes &b, std::size_t at) {
    return std::uint32_t{b[at]} | std::uint32_t{b[at + 1]} << 8 | std::uint32_t{b[at + 2]} << 16 | std::uint32_t{b[at + 3]} << 24;
}

}  // namespace

TEST(BmpWrite, OnePixelIsFiftyEightExactBytes) {
    Image image(1, 1);
    rasterkit_set_pixel_RGBA(image.get(), 0, 0, 0x11, 0x22, 0x33, 0x44);
    TempDir dir;
    BmpBuilder expected_header;
    expected_header.pixels = {0x33, 0x22, 0x11, 0x00};
    bytes expected = expected_header.build();
    // The writer leaves the image-size field 0.
    expected[34] = expected[35] = expected[36] = expected[37] = 0;
    EXPECT_EQ(write_bmp(image.get(), dir), expected);
}

TEST(BmpWrite, RowsArePaddedToWordsBottomRowFirst) {
    struct Case {
        std::int32_t width, height;
        std::uint32_t row;
    };
    const Case cases[] = {{2, 1, 8}, {4, 1, 12}, {3, 2, 12}, {5, 3, 16}};
    TempDir dir;
    for (const Case &c : cases) {
        Image image(c.width, c.height);
        fill_pattern(image.get(), 12);
        const bytes file = write_bmp(image.get(), dir);
        ASSERT_EQ(file.size(), 54 + c.height * c.row) << c.width;
        EXPECT_EQ(le32(file, 2), file.size());
        EXPECT_EQ(le32(file, 10), 54u);
        EXPECT_EQ(le32(file, 18), static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(le32(file, 22), static_cast<std::uint32_t>(c.height));
        for (std::int32_t k = 0; k < c.height; ++k) {
            const std::size_t row = 54 + static_cast<std::size_t>(k) * c.row;
            const std::int32_t y = c.height - 1 - k;
            for (std::int32_t x = 0; x < c.width; ++x) {
                const std::uint32_t v = pattern_value(x, y, 12);
                EXPECT_EQ(file[row + 3 * x], static_cast<std::uint8_t>(v >> 16));
                EXPECT_EQ(file[row + 3 * x + 2], static_cast<std::uint8_t>(v));
            }
            for (std::size_t pad = 3 * static_cast<std::size_t>(c.width); pad < c.row; ++pad) EXPECT_EQ(file[row + pad], 0);
        }
    }
}

TEST(BmpWrite, EveryWidthConvertsExactlyBothWays) {
    // Covers the block conversions' ends: widths around every multiple of 4.
    TempDir dir;
    const std::string path = dir.file("widths.bmp");
    for (std::int32_t width = 1; width <= 37; ++width) {
        Image image(width, 2);
        fill_pattern(image.get(), static_cast<std::uint32_t>(width));
        rasterkit_writeimage_bmp(path.c_str(), image.get());
        const bytes file = read_file(path);
        const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) / 4 * 4;
        ASSERT_EQ(file.size(), 54 + 2 * stride) << width;
        for (std::int32_t x = 0; x < width; ++x) {
            const std::uint32_t v = pattern_value(x, 1, static_cast<std::uint32_t>(width));  // bottom row first
            ASSERT_EQ(file[54 + 3 * x], static_cast<std::uint8_t>(v >> 16)) << width << " " << x;
            ASSERT_EQ(file[54 + 3 * x + 1], static_cast<std::uint8_t>(v >> 8)) << width << " " << x;
            ASSERT_EQ(file[54 + 3 * x + 2], static_cast<std::uint8_t>(v)) << width << " " << x;
        }
        for (std::size_t pad = 3 * static_cast<std::size_t>(width); pad < stride; ++pad) ASSERT_EQ(file[54 + pad], 0) << width;
        Image back;
        rasterkit_readimage_bmp(path.c_str(), back.get());
        for (std::int32_t y = 0; y < 2; ++y)
            for (std::int32_t x = 0; x < width; ++x)
                ASSERT_EQ(back.packed(x, y), pattern_value(x, y, static_cast<std::uint32_t>(width)) | 0xFF000000u) << width;
    }
}

TEST(BmpWrite, RoundTripKeepsColoursAndMakesAlphaOpaque) {
    Image image(13, 7);
    fill_pattern(image.get(), 21);
    TempDir dir;
    const std::string path = dir.file("round.bmp");
    rasterkit_writeimage_bmp(path.c_str(), image.get());
    Image back;
    rasterkit_readimage_bmp(path.c_str(), back.get());
    ASSERT_EQ(back.width(), 13);
    ASSERT_EQ(back.height(), 7);
    for (std::int32_t y = 0; y < 7; ++y)
        for (std::int32_t x = 0; x < 13; ++x) EXPECT_EQ(back.packed(x, y), pattern_value(x, y, 21) | 0xFF000000u);
}

TEST(BmpWrite, EmptyImageLeavesEmptyFileAndUnopenablePathPrints) {
    TempDir dir;
    Image empty;
    const std::string path = dir.file("empty.bmp");
    write_file(path, bytes(100, 1));
    rasterkit_writeimage_bmp(path.c_str(), empty.get());
    EXPECT_EQ(file_size(path), 0);

    const std::string bad = dir.file("no/such/dir.bmp");
    OutputCapture out(1);
    rasterkit_writeimage_bmp(bad.c_str(), empty.get());
    EXPECT_EQ(out.finish(), "rasterkit_writeimage_bmp: " + bad + " could not be opened!\n");
}

TEST(BmpHeaders, PrintsEveryFieldOnItsOwnLine) {
    const rasterkit_bmpfileheader fh{0x4D42, 58, 0, 65535, 54};
    const rasterkit_bmpinfoheader ih{40, -3, 2, 1, 24, 0, 0, 3780, -1, 0, 4294967295u};
    OutputCapture out(1);
    rasterkit_printheaders_bmp(&fh, &ih);
    EXPECT_EQ(out.finish(),
              "magic: BM\nbmpsize: 58\nres1: 0\nres2: 65535\npixel offset: 54\n\nheader size: 40\nwidth: -3\n"
              "height: 2\ncolorplanes: 1\nbitsperpixel: 24\ncompressionmethod: 0\nimsz: 0\nhorizontal rez: 3780\n"
              "vertical rez: -1\ncolor pallette: 0\nignore: -1\n");
}

namespace {

std::string suite(const std::string &name) { return corpus_dir() + "/bmpsuite/" + name; }

}  // namespace

TEST(BmpSuite, EveryFileReadsWithoutCrashOrLeak) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    const auto files = files_below(corpus_dir() + "/bmpsuite", {".bmp"});
    ASSERT_GT(files.size(), 50u);
    for (const std::string &path : files) {
        Image image(1, 1);
        OutputCapture out(1);
        rasterkit_readimage_bmp(path.c_str(), image.get());
        const std::string text = out.finish();
        EXPECT_LE(std::count(text.begin(), text.end(), '\n'), 1) << path;
        // Either the image is a valid record or it kept its 1x1 size.
        if (image->data != nullptr) {
            EXPECT_GT(image.width(), 0) << path;
        }
    }
}

TEST(BmpSuite, SamePictureAtTwentyFourAndThirtyTwoBitsDecodesAlike) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    Image rgb24, rgb32;
    rasterkit_readimage_bmp(suite("g/rgb24.bmp").c_str(), rgb24.get());
    rasterkit_readimage_bmp(suite("g/rgb32.bmp").c_str(), rgb32.get());
    ASSERT_EQ(rgb24.width(), 127);
    ASSERT_EQ(rgb24.height(), 64);
    ASSERT_EQ(rgb32.width(), 127);
    for (std::int32_t y = 0; y < 64; ++y) {
        for (std::int32_t x = 0; x < 127; ++x) {
            // rgb32 stores 0 as its fourth byte: same colours, alpha 0.
            ASSERT_EQ(rgb32.packed(x, y), rgb24.packed(x, y) & 0x00FFFFFFu) << x << "," << y;
        }
    }
    Image topdown, bottomup;
    rasterkit_readimage_bmp(suite("g/pal8topdown.bmp").c_str(), topdown.get());
    rasterkit_readimage_bmp(suite("g/pal8.bmp").c_str(), bottomup.get());
    EXPECT_EQ(topdown.pixels(), bottomup.pixels());
}

TEST(BmpSuite, EightBitFilesGiveIndicesAsGrey) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    Image image;
    rasterkit_readimage_bmp(suite("g/pal8.bmp").c_str(), image.get());
    ASSERT_EQ(image.width(), 127);
    const bytes file = read_file(suite("g/pal8.bmp"));
    const std::size_t offset = le32(file, 10);
    // The first stored row is the bottom row; its first byte is pixel (0, 63).
    const std::uint8_t index = file[offset];
    EXPECT_EQ(image.packed(0, 63), pack(index, index, index, 255));
    for (std::int32_t y = 0; y < image.height(); ++y)
        for (std::int32_t x = 0; x < image.width(); ++x) {
            const std::uint32_t p = image.packed(x, y);
            ASSERT_EQ(p & 0xFF, (p >> 8) & 0xFF);
            ASSERT_EQ(p >> 24, 255u);
        }
}

TEST(BmpSuite, CompressedAndBitFieldFilesAreNotRGB) {
    if (corpus_dir().empty()) GTEST_SKIP() << "corpus not present";
    for (const char *name : {"g/pal4rle.bmp", "g/pal8rle.bmp", "g/rgb16-565.bmp", "g/rgb32bf.bmp", "g/rgb32bfdef.bmp"}) {
        const std::string path = suite(name);
        Image image(1, 1);
        OutputCapture out(1);
        rasterkit_readimage_bmp(path.c_str(), image.get());
        EXPECT_EQ(out.finish(), "rasterkit_readimage_bmp: " + path +
                                    " is not an RGB bitmap. rasterkit currently only handles RGB bitmaps...\n");
        EXPECT_EQ(image.width(), 1);
    }
}
