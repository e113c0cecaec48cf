// The conversion library's geometry through its C interface: fit sizes,
// kernels that keep flat colour flat, no colour from transparent pixels,
// shrink-on-load and box reduction, and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "rasterkit_convert.h"
#include "support/conversion_caller.h"

namespace {

using namespace caller;

void fill(const image_record &image, std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    for (std::int32_t y = 0; y < image.image->height; ++y)
        for (std::int32_t x = 0; x < image.image->width; ++x) {
            std::uint8_t *p = image.at(x, y);
            p[0] = r, p[1] = g, p[2] = b, p[3] = a;
        }
}

bytes encoded(const image_record &image, std::int32_t format, const options &settings = options()) {
    rkconv_options_set_format(settings.handle, format);
    std::uint8_t *data = nullptr;
    std::size_t length = 0;
    EXPECT_EQ(rkconv_write_bytes(image.image, settings.handle, nullptr, &data, &length, nullptr), 0);
    bytes file(data, data + length);
    rkconv_free(data);
    return file;
}

// A photo-like pattern: smooth gradients with some texture.
image_record pattern(std::int32_t width, std::int32_t height) {
    image_record image(width, height);
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) {
            std::uint8_t *p = image.at(x, y);
            p[0] = static_cast<std::uint8_t>(x * 255 / width);
            p[1] = static_cast<std::uint8_t>(y * 255 / height);
            p[2] = static_cast<std::uint8_t>((x * 7 + y * 13) % 256);
            p[3] = 255;
        }
    return image;
}

TEST(Geometry, FitsEachModeAndPlacesItsCanvas) {
    const bytes png = encoded(pattern(400, 300), RKCONV_FORMAT_PNG);
    struct fit_case {
        const char *fit;
        std::int32_t width, height, want_width, want_height;
        bool enlarge;
        std::int32_t rotate;
    };
    const fit_case cases[] = {{"inside", 200, 200, 200, 150, true, 0},  {"cover", 200, 200, 200, 200, true, 0},
                              {"contain", 200, 200, 200, 200, true, 0}, {"fill", 200, 100, 200, 100, true, 0},
                              {"outside", 200, 200, 267, 200, true, 0}, {"inside", 100, 0, 100, 75, true, 0},
                              {"inside", 0, 61, 81, 61, true, 0},       {"inside", 800, 800, 400, 300, false, 0},
                              {"cover", 800, 100, 400, 100, false, 90}, {"fill", 800, 800, 400, 300, false, 270}};
    for (const fit_case &c : cases) {
        SCOPED_TRACE(std::string(c.fit) + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        options settings;
        ASSERT_EQ(rkconv_options_set_resize(settings.handle, c.width, c.height), 0);
        ASSERT_EQ(rkconv_options_set_fit(settings.handle, c.fit), 0);
        rkconv_options_set_enlarge(settings.handle, c.enlarge ? 1 : 0);
        rkconv_options_set_rotate(settings.handle, c.rotate);
        image_record image;
        message why;
        ASSERT_EQ(rkconv_read_bytes(png.data(), png.size(), settings.handle, image.image, nullptr, &why.text), 0)
            << why.str();
        const bool turned = c.rotate == 90 || c.rotate == 270;
        EXPECT_EQ(image.image->width, turned ? c.want_height : c.want_width);
        EXPECT_EQ(image.image->height, turned ? c.want_width : c.want_height);
    }

    options contain;
    rkconv_options_set_resize(contain.handle, 200, 200);
    rkconv_options_set_fit(contain.handle, "contain");
    rkconv_options_set_position(contain.handle, "bottom");
    ASSERT_EQ(rkconv_options_set_background(contain.handle, "9,8,7"), 0);
    image_record padded;
    ASSERT_EQ(rkconv_read_bytes(png.data(), png.size(), contain.handle, padded.image, nullptr, nullptr), 0);
    EXPECT_EQ(bytes(padded.at(0, 0), padded.at(0, 0) + 4), (bytes{9, 8, 7, 255}));  // the pad is on top
    EXPECT_EQ(padded.at(100, 199)[3], 255);
}

// Weights sum to one: a flat colour stays flat through every kernel,
// reducing and enlarging, in fixed point and in linear light.
TEST(Resampler, EveryKernelKeepsFlatColourFlat) {
    for (const char *kernel : {"nearest", "linear", "cubic", "mitchell", "lanczos2", "lanczos3"}) {
        for (const bool linear : {false, true}) {
            for (const std::int32_t side : {7, 90}) {
                SCOPED_TRACE(std::string(kernel) + (linear ? " linear" : "") + " to " + std::to_string(side));
                image_record image(31, 23);
                fill(image, 200, 100, 50, 255);
                options settings;
                rkconv_options_set_resize(settings.handle, side, side);
                rkconv_options_set_fit(settings.handle, "fill");
                ASSERT_EQ(rkconv_options_set_kernel(settings.handle, kernel), 0);
                rkconv_options_set_linear(settings.handle, linear ? 1 : 0);
                ASSERT_EQ(rkconv_apply_geometry(image.image, settings.handle, nullptr), 0);
                ASSERT_EQ(image.image->width, side);
                for (std::int32_t y = 0; y < side; ++y)
                    for (std::int32_t x = 0; x < side; ++x)
                        ASSERT_EQ(bytes(image.at(x, y), image.at(x, y) + 4), (bytes{200, 100, 50, 255}));
            }
        }
    }
}

// A transparent red half lends no red to the opaque blue half, whatever
// path the reduction takes.
TEST(Resampler, NoColourFromTransparentPixels) {
    image_record edge(64, 64);
    for (std::int32_t y = 0; y < 64; ++y)
        for (std::int32_t x = 0; x < 64; ++x) {
            std::uint8_t *p = edge.at(x, y);
            const bool left = x < 32;
            p[0] = left ? 255 : 0, p[1] = 0, p[2] = left ? 0 : 255, p[3] = left ? 0 : 255;
        }
    const bytes png = encoded(edge, RKCONV_FORMAT_PNG);
    for (const bool exact : {false, true}) {
        for (const bool linear : {false, true}) {
            options settings;
            rkconv_options_set_resize(settings.handle, 5, 5);
            rkconv_options_set_exact(settings.handle, exact ? 1 : 0);
            rkconv_options_set_linear(settings.handle, linear ? 1 : 0);
            image_record small;
            ASSERT_EQ(rkconv_read_bytes(png.data(), png.size(), settings.handle, small.image, nullptr, nullptr), 0);
            for (std::int32_t y = 0; y < 5; ++y)
                for (std::int32_t x = 0; x < 5; ++x)
                    if (small.at(x, y)[3] > 0) {
                        EXPECT_EQ(small.at(x, y)[0], 0) << x << "," << y;
                    }
        }
    }
}

// A thumbnail shrunk on load (JPEG) or box-reduced (PNG) stays close to the
// pure kernel on the full decode.
TEST(Resampler, ShrinkOnLoadStaysCloseToTheExactKernel) {
    const image_record photo = pattern(1600, 1200);
    for (const std::int32_t format : {RKCONV_FORMAT_JPEG, RKCONV_FORMAT_PNG}) {
        SCOPED_TRACE(format);
        const bytes file = encoded(photo, format);
        image_record fast, exact;
        options quick, pure;
        for (rkconv_options *o : {quick.handle, pure.handle}) rkconv_options_set_resize(o, 100, 0);
        rkconv_options_set_exact(pure.handle, 1);
        ASSERT_EQ(rkconv_read_bytes(file.data(), file.size(), quick.handle, fast.image, nullptr, nullptr), 0);
        ASSERT_EQ(rkconv_read_bytes(file.data(), file.size(), pure.handle, exact.image, nullptr, nullptr), 0);
        ASSERT_EQ(fast.image->width, 100);
        ASSERT_EQ(fast.image->height, 75);
        double squared = 0;
        const std::size_t count = 4u * 100 * 75;
        for (std::size_t i = 0; i < count; ++i) {
            const double d = double(fast.image->data[i]) - exact.image->data[i];
            squared += d * d;
        }
        EXPECT_LT(squared / count, 4.0);  // under two levels, root mean square
    }
}

struct thumbnail {
    std::int32_t result;
    std::string said;
    bytes pixels;
};

thumbnail read_thumbnail(const bytes &file, std::int32_t box, bool accept_damaged = false) {
    options settings;
    rkconv_options_set_resize(settings.handle, box, box);
    rkconv_options_set_accept_damaged(settings.handle, accept_damaged ? 1 : 0);
    image_record image;
    message said;
    const std::int32_t result = rkconv_read_bytes(file.data(), file.size(), settings.handle, image.image, nullptr,
                                                  &said.text);
    return {result, said.str(), image.pixels()};
}

// The same file with a comment between its scan and its end, which leaves
// the scan to libjpeg.
bytes for_libjpeg(bytes jpeg) {
    jpeg.insert(jpeg.end() - 2, {0xFF, 0xFE, 0x00, 0x03, 0x00});
    return jpeg;
}

double mean_squared_error(const bytes &a, const bytes &b) {
    double squared = 0;
    for (std::size_t i = 0; i < a.size(); ++i) squared += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    return squared / double(a.size());
}

// Our thumbnail against libjpeg's of the same image: within two levels, or
// where libjpeg upsamples chroma, at least as close to the exact kernel on
// the full decode of `file`.
void expect_as_close_as_libjpegs(const thumbnail &ours, const thumbnail &theirs, bool upsampled_by_libjpeg,
                                 const bytes &file, std::int32_t box) {
    if (upsampled_by_libjpeg) {
        options exact;
        rkconv_options_set_resize(exact.handle, box, box);
        rkconv_options_set_exact(exact.handle, 1);
        image_record reference;
        ASSERT_EQ(rkconv_read_bytes(file.data(), file.size(), exact.handle, reference.image, nullptr, nullptr), 0);
        EXPECT_LE(mean_squared_error(ours.pixels, reference.pixels()),
                  mean_squared_error(theirs.pixels, reference.pixels()));
        return;
    }
    int largest = 0;
    for (std::size_t i = 0; i < ours.pixels.size(); ++i)
        largest = std::max(largest, std::abs(int(ours.pixels[i]) - int(theirs.pixels[i])));
    EXPECT_LE(largest, 2);
}

// Thumbnails of JPEGs whose scans the library decodes at 1/4 or 1/8 of
// their size itself (split between two threads from about a megapixel)
// against those of the same files decoded by libjpeg at that size: 4:2:0
// and 4:4:4 photos, small and large, greyscale and RGB within two levels;
// where chroma is halved or quartered across, which libjpeg upsamples and
// the library decodes at the output's size, at least as close to the
// exact kernel on the whole decode.
TEST(ShrinkOnLoad, OwnScanDecodeGivesLibjpegsPixels) {
    struct layout {
        std::string name;
        bytes file;
        bool upsampled_by_libjpeg;
    };
    std::vector<layout> layouts;
    for (const image_record &photo : {pattern(1600, 1200), pattern(300, 200)})
        for (const std::int32_t chroma : {420, 444}) {
            options settings;
            rkconv_options_set_chroma(settings.handle, chroma);
            layouts.push_back({std::to_string(photo.image->width) + " " + std::to_string(chroma),
                               encoded(photo, RKCONV_FORMAT_JPEG, settings), false});
        }
    const std::string corpus = std::string(RASTERKIT_CORPUS_DIR) + "/jpeg/generated/";
    for (const char *name : {"testorig-gray.jpg", "testorig-rgb.jpg", "testorig-411.jpg", "testorig-422.jpg"})
        layouts.push_back({name, file_bytes(corpus + name), name[9] == '4'});
    for (const layout &each : layouts)
        for (const std::int32_t fraction : {4, 8}) {
            SCOPED_TRACE(each.name + " at 1/" + std::to_string(fraction));
            if (each.file.empty()) GTEST_SKIP() << "no corpus";
            rkconv_header header{};
            ASSERT_EQ(rkconv_probe_bytes(each.file.data(), each.file.size(), &header, nullptr, nullptr), 0);
            const std::int32_t box = header.width / (2 * fraction);  // leaves twice for the kernel
            // libjpeg-turbo reads memory it never wrote decoding some images at 1/8 whose width
            // is no whole number of 16-pixel MCUs (valgrind shows it); the library's own does not.
            constexpr std::int32_t widest_mcu = 16;
            if (fraction == 8 && header.width % widest_mcu != 0) continue;
            const thumbnail ours = read_thumbnail(each.file, box);
            const thumbnail theirs = read_thumbnail(for_libjpeg(each.file), box);
            ASSERT_EQ(ours.result, 0) << ours.said;
            ASSERT_EQ(theirs.result, 0) << theirs.said;
            ASSERT_EQ(ours.pixels.size(), theirs.pixels.size());
            expect_as_close_as_libjpegs(ours, theirs, each.upsampled_by_libjpeg, each.file, box);
        }
}

// Damage in a scan the library decodes itself, in the first part of a
// large one, in the part decoded ahead on the second thread, or in a small
// one: bad codes, or the data ending before the last MCU. It fails the
// read in libjpeg's words unless accepted; then the thumbnail comes with
// the warning. Bytes left after the last MCU only warn.
TEST(ShrinkOnLoad, DamageInTheScanFailsUnlessAccepted) {
    const auto scan_start = [](const bytes &jpeg) {
        const std::uint8_t start_of_scan[] = {0xFF, 0xDA};
        const auto at = std::search(jpeg.begin(), jpeg.end(), std::begin(start_of_scan), std::end(start_of_scan));
        return std::size_t(at - jpeg.begin()) + 2 + (std::size_t(at[2]) << 8 | at[3]);
    };
    // 256 ones: no code of the encoder's tables starts with sixteen.
    const auto with_bad_codes = [&](bytes jpeg, double where) {
        const std::size_t start = scan_start(jpeg);
        bytes ones;
        for (int i = 0; i < 32; ++i) ones.insert(ones.end(), {0xFF, 0x00});
        std::size_t at = start + std::size_t(double(jpeg.size() - 2 - start) * where);
        while (jpeg[at - 1] == 0xFF) ++at;  // not between a stuffed byte and its zero
        jpeg.insert(jpeg.begin() + std::ptrdiff_t(at), ones.begin(), ones.end());
        return jpeg;
    };
    const auto cut_short = [&](bytes jpeg) {
        jpeg.resize(scan_start(jpeg) + (jpeg.size() - scan_start(jpeg)) / 2);
        jpeg.insert(jpeg.end(), {0xFF, 0xD9});
        return jpeg;
    };
    const bytes large = encoded(pattern(1600, 1200), RKCONV_FORMAT_JPEG);
    const bytes small = encoded(pattern(300, 200), RKCONV_FORMAT_JPEG);
    struct damage {
        const char *name;
        bytes file;
        const char *cause;
        std::int32_t box;  // a quarter of the width, halved: decoded at 1/4
    };
    const damage cases[] = {
        {"bad codes early in a large scan", with_bad_codes(large, 0.1), "Corrupt JPEG data: bad Huffman code", 200},
        {"bad codes late in a large scan", with_bad_codes(large, 0.9), "Corrupt JPEG data: bad Huffman code", 200},
        {"bad codes in a small scan", with_bad_codes(small, 0.5), "Corrupt JPEG data: bad Huffman code", 37},
        {"a large scan cut short", cut_short(large), "Corrupt JPEG data: premature end of data segment", 200},
        {"a small scan cut short", cut_short(small), "Corrupt JPEG data: premature end of data segment", 37},
    };
    for (const damage &d : cases) {
        SCOPED_TRACE(d.name);
        const thumbnail strict = read_thumbnail(d.file, d.box);
        EXPECT_EQ(strict.result, -1);
        EXPECT_NE(strict.said.find("damaged JPEG data (" + std::string(d.cause) + ")"), std::string::npos)
            << strict.said;
        const thumbnail lenient = read_thumbnail(d.file, d.box, true);
        EXPECT_EQ(lenient.result, 0) << lenient.said;
        EXPECT_NE(lenient.said.find(d.cause), std::string::npos) << lenient.said;
        EXPECT_FALSE(lenient.pixels.empty());
    }
    bytes padded = large;
    padded.insert(padded.end() - 2, 20, 0);
    const thumbnail notice = read_thumbnail(padded, 200);
    EXPECT_EQ(notice.result, 0);
    EXPECT_NE(notice.said.find("extraneous bytes before marker 0xd9"), std::string::npos) << notice.said;
}

constexpr std::uint8_t quantisation_tables[] = {0xFF, 0xDB};

// Where each scan's header begins.
std::vector<std::size_t> scan_headers(const bytes &jpeg) {
    std::vector<std::size_t> found;
    for (std::size_t at = 0; at + 1 < jpeg.size(); ++at)
        if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xDA) found.push_back(at);
    return found;
}

// A progressive file's scans, which the library reads itself, give at 1/4
// and 1/8 the pixels of the same coefficients in one sequential scan, byte
// for byte (libjpeg's are a level off here and there), with segments
// between the scans too, and at 1/2 libjpeg's within two levels, or where
// it upsamples chroma, at least as close to the exact kernel. Damage, or bytes left in a scan, leave the file to
// libjpeg, which judges it in its own words.
TEST(ShrinkOnLoad, ProgressiveScansGiveTheSequentialPixels) {
    for (const image_record &photo : {pattern(1600, 1200), pattern(300, 200)})
        for (const std::int32_t chroma : {420, 444}) {
            options sequential, progressive;
            for (rkconv_options *o : {sequential.handle, progressive.handle}) rkconv_options_set_chroma(o, chroma);
            rkconv_options_set_progressive(progressive.handle, 1);
            const bytes one_scan = encoded(photo, RKCONV_FORMAT_JPEG, sequential);
            bytes layered = encoded(photo, RKCONV_FORMAT_JPEG, progressive);
            const std::vector<std::size_t> scans = scan_headers(layered);
            ASSERT_GT(scans.size(), 3u);
            layered.insert(layered.begin() + std::ptrdiff_t(scans[2]), {0xFF, 0xFE, 0x00, 0x04, 'h', 'i'});
            for (const std::int32_t fraction : {2, 4, 8}) {
                SCOPED_TRACE(std::to_string(photo.image->width) + " " + std::to_string(chroma) + " at 1/" +
                             std::to_string(fraction));
                const std::int32_t box = photo.image->width / (2 * fraction);
                const thumbnail ours = read_thumbnail(layered, box);
                ASSERT_EQ(ours.result, 0) << ours.said;
                if (fraction != 2) {
                    EXPECT_EQ(ours.pixels, read_thumbnail(one_scan, box).pixels);
                    continue;
                }
                // libjpeg decodes a sequential scan at 1/2 itself; against its decode of
                // the progressive file (a quantisation table defined again between
                // scans leaves it the file), at least as close to the exact kernel.
                bytes for_libjpeg = layered;
                const auto tables = std::search(layered.begin(), layered.end(), std::begin(quantisation_tables),
                                                std::end(quantisation_tables));
                const std::size_t table_bytes = 2 + (std::size_t(tables[2]) << 8 | tables[3]);
                for_libjpeg.insert(for_libjpeg.begin() + std::ptrdiff_t(scan_headers(layered).back()), tables,
                                   tables + std::ptrdiff_t(table_bytes));
                const thumbnail theirs = read_thumbnail(for_libjpeg, box);
                ASSERT_EQ(theirs.result, 0) << theirs.said;
                EXPECT_NE(ours.pixels, theirs.pixels);
                expect_as_close_as_libjpegs(ours, theirs, chroma == 420, one_scan, box);
            }
        }
    options progressive;
    rkconv_options_set_progressive(progressive.handle, 1);
    const bytes layered = encoded(pattern(1600, 1200), RKCONV_FORMAT_JPEG, progressive);  // its scans shared by two threads
    const std::size_t last_scan = scan_headers(layered).back();
    bytes cut = layered, bad_codes = layered, padded = layered;
    cut.resize(last_scan + (layered.size() - last_scan) / 2);
    for (int i = 0; i < 32; ++i) bad_codes.insert(bad_codes.begin() + std::ptrdiff_t(last_scan + 40), {0xFF, 0x00});
    padded.insert(padded.end() - 2, 20, 0);
    struct altered {
        const char *name;
        const bytes &file;
        std::int32_t strict_result;
        const char *said;
    };
    for (const altered &a : {altered{"cut short", cut, -1, "Premature end of JPEG file"},
                             altered{"bad codes", bad_codes, -1, "Corrupt JPEG data: bad Huffman code"},
                             altered{"bytes left", padded, 0, "extraneous bytes before marker 0xd9"}}) {
        SCOPED_TRACE(a.name);
        const thumbnail strict = read_thumbnail(a.file, 100);
        EXPECT_EQ(strict.result, a.strict_result);
        EXPECT_NE(strict.said.find(a.said), std::string::npos) << strict.said;
        const thumbnail lenient = read_thumbnail(a.file, 100, true);
        EXPECT_EQ(lenient.result, 0) << lenient.said;
        EXPECT_NE(lenient.said.find(a.said), std::string::npos) << lenient.said;
    }
}

// A JPEG that needs no turn is resized as its rows are decoded (a decode
// ahead on a second thread from a megapixel up): the same pixels as its
// decoded image resized, through each fit's canvas and a turn after, in
// colour and greyscale; damage met on the way fails the read unless accepted.
TEST(Resampler, RowsResizedAsTheyAreDecoded) {
    const auto read = [](const bytes &file, rkconv_options *settings, image_record &image) {
        message why;
        const int32_t result = rkconv_read_bytes(file.data(), file.size(), settings, image.image, nullptr, &why.text);
        return std::make_pair(result, why.str());
    };
    std::vector<std::pair<std::string, bytes>> jpegs;
    for (const image_record &photo : {pattern(1600, 1200), pattern(300, 200)})
        jpegs.emplace_back(std::to_string(photo.image->width), encoded(photo, RKCONV_FORMAT_JPEG));
    // A greyscale file's rows are resized as one channel, as its decoded image is.
    jpegs.emplace_back("grey", file_bytes(std::string(RASTERKIT_CORPUS_DIR) + "/jpeg/generated/testorig-gray.jpg"));
    for (const auto &[name, jpeg] : jpegs) {
        if (jpeg.empty()) continue;  // no corpus
        image_record decoded;
        ASSERT_EQ(read(jpeg, nullptr, decoded).first, 0);
        const bytes png = encoded(decoded, RKCONV_FORMAT_PNG);
        for (const char *fit : {"inside", "cover", "contain"}) {
            SCOPED_TRACE(name + " " + fit);
            options settings;
            rkconv_options_set_resize(settings.handle, 120, 120);
            rkconv_options_set_fit(settings.handle, fit);
            rkconv_options_set_rotate(settings.handle, 90);
            rkconv_options_set_exact(settings.handle, 1);
            image_record from_rows, from_image;
            ASSERT_EQ(read(jpeg, settings.handle, from_rows).first, 0);
            ASSERT_EQ(read(png, settings.handle, from_image).first, 0);
            EXPECT_EQ(from_rows.pixels(), from_image.pixels());
        }
        const bytes cut(jpeg.begin(), jpeg.begin() + std::ptrdiff_t(jpeg.size() / 2));
        options thumbnail;
        rkconv_options_set_resize(thumbnail.handle, 64, 64);
        image_record strict, lenient;
        const auto refused = read(cut, thumbnail.handle, strict);
        EXPECT_EQ(refused.first, -1);
        EXPECT_NE(refused.second.find("Premature end of JPEG file"), std::string::npos) << refused.second;
        rkconv_options_set_accept_damaged(thumbnail.handle, 1);
        EXPECT_EQ(read(cut, thumbnail.handle, lenient).first, 0);
        EXPECT_EQ(lenient.image->width, 64);
    }
}

TEST(Geometry, RefusesWhatCannotWorkNamingTheArgument) {
    const bytes png = encoded(pattern(40, 30), RKCONV_FORMAT_PNG);
    struct refusal {
        void (*set)(rkconv_options *);
        const char *said;
    };
    const refusal cases[] = {
        {[](rkconv_options *o) { rkconv_options_set_resize(o, 0, 0); }, "resize needs a positive width or height"},
        {[](rkconv_options *o) { rkconv_options_set_kernel(o, "box"); }, "unknown kernel 'box'"},
        {[](rkconv_options *o) { rkconv_options_set_fit(o, "squash"); }, "unknown fit 'squash'"},
        {[](rkconv_options *o) { rkconv_options_set_position(o, "up"); }, "unknown position 'up'"},
        {[](rkconv_options *o) { rkconv_options_set_background(o, "1,2,3,4,5"); }, "background must be R,G,B"},
        {[](rkconv_options *o) { rkconv_options_set_background(o, "1,2"); }, "background must be R,G,B"},
        {[](rkconv_options *o) { rkconv_options_set_crop(o, 0, 0, 0, 5); }, "crop needs"},
        {[](rkconv_options *o) { rkconv_options_set_crop(o, 30, 0, 20, 10); }, "crop 30,0,20,10 leaves the 40x30 image"},
        {[](rkconv_options *o) { rkconv_options_set_rotate(o, 45); }, "rotate takes 0, 90, 180 or 270"},
        {[](rkconv_options *o) {
             rkconv_options_set_resize(o, 60000, 60000);
             rkconv_options_set_fit(o, "fill");
         },
         "more than the limit of 268435456"},
    };
    for (const refusal &c : cases) {
        SCOPED_TRACE(c.said);
        options settings;
        c.set(settings.handle);
        image_record image;
        message why;
        EXPECT_EQ(rkconv_read_bytes(png.data(), png.size(), settings.handle, image.image, nullptr, &why.text), -1);
        EXPECT_NE(why.str().find(c.said), std::string::npos) << why.str();
        EXPECT_EQ(rkconv_message_kind(why.text), RKCONV_ERROR_BAD_ARGUMENT);
        EXPECT_EQ(image.image->data, nullptr);
    }
}

// In memory: crop, then rotation, then the transforms, in that order.
TEST(Geometry, AppliesToAnImageInMemoryInOrder) {
    image_record image = pattern(40, 30);
    const bytes corner(image.at(10, 5), image.at(10, 5) + 4);
    options settings;
    rkconv_options_set_crop(settings.handle, 10, 5, 20, 8);
    rkconv_options_set_rotate(settings.handle, 90);
    rkconv_options_add_transform(settings.handle, RKCONV_TRANSFORM_FLIP_Y);
    ASSERT_EQ(rkconv_apply_geometry(image.image, settings.handle, nullptr), 0);
    ASSERT_EQ(image.image->width, 8);
    ASSERT_EQ(image.image->height, 20);
    // The crop's top-left corner, turned clockwise to the top right, then flipped to the bottom right.
    EXPECT_EQ(bytes(image.at(7, 19), image.at(7, 19) + 4), corner);
}

}  // namespace
