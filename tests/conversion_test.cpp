// The conversion library through its C interface alone, linked as a caller
// links it: probes that agree with the readers, the pixel limit, and reads
// and writes of bytes that match those of files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <lcms2.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include <jpeglib.h>

#include "rasterkit_convert.h"
#include "support/conversion_caller.h"

namespace {

namespace fs = std::filesystem;
using namespace caller;

void put32(bytes &out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(value >> shift));
}

void add_chunk(bytes &png, const char *type, const bytes &data) {
    put32(png, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(png, static_cast<std::uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(png.size() - start))));
}

// A greyscale PNG that declares a size but carries no pixel data: its
// header passes, its decode fails at once.
bytes png_declaring(std::uint32_t width, std::uint32_t height) {
    bytes png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    bytes header;
    put32(header, width);
    put32(header, height);
    header.insert(header.end(), {8, 0, 0, 0, 0});
    add_chunk(png, "IHDR", header);
    add_chunk(png, "IDAT", {});
    add_chunk(png, "IEND", {});
    return png;
}

std::vector<std::string> corpus_files() {
    const fs::path root = fs::path(RASTERKIT_CORPUS_DIR);
    std::vector<std::string> found;
    if (!fs::exists(root / "README.md")) return found;
    for (const auto &entry : fs::recursive_directory_iterator(root)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".png" || ext == ".bmp" || ext == ".jpg" || ext == ".jpeg"))
            found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    return found;
}

TEST(Probe, AgreesWithTheReadersOverTheCorpus) {
    const std::vector<std::string> files = corpus_files();
    if (files.empty()) GTEST_SKIP() << "no corpus at " << RASTERKIT_CORPUS_DIR;
    int read = 0;
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        image_record image;
        rasterkit_readimage(path.c_str(), image.image);
        rkconv_header header{};
        message why;
        const bool probed = rkconv_probe_file(path.c_str(), &header, nullptr, &why.text) == 0;
        const bytes content = file_bytes(path);
        rkconv_header from_memory{};
        const bool probed_memory = rkconv_probe_bytes(content.data(), content.size(), &from_memory, nullptr, nullptr) == 0;
        EXPECT_EQ(probed, probed_memory);
        EXPECT_EQ(std::memcmp(&header, &from_memory, sizeof header), 0);
        if (image.image->data == nullptr) {
            EXPECT_TRUE(probed || !why.str().empty());
            continue;
        }
        ++read;
        ASSERT_TRUE(probed) << why.str();
        EXPECT_EQ(header.format, rasterkit_magic_type(path.c_str()));
        EXPECT_EQ(header.width, image.image->width);
        EXPECT_EQ(header.height, image.image->height);
    }
    EXPECT_GT(read, 300);
}

TEST(Probe, RefusesWhatNoReaderKnows) {
    const bytes junk = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
    rkconv_header header{};
    message why;
    EXPECT_EQ(rkconv_probe_bytes(junk.data(), junk.size(), &header, nullptr, &why.text), -1);
    EXPECT_EQ(why.str(), "not a readable BMP, PNG or JPEG file");
    EXPECT_EQ(rkconv_probe_bytes(nullptr, 0, &header, nullptr, nullptr), -1);
}

TEST(PixelLimit, RefusesBeforeDecodingAndNamesFileSizeAndLimit) {
    const bytes huge = png_declaring(20000, 20000);
    image_record image;
    rasterkit_image_resize(image.image, 2, 2);
    const bytes before = image.pixels();
    message why;
    EXPECT_EQ(rkconv_read_bytes(huge.data(), huge.size(), nullptr, image.image, nullptr, &why.text), -1);
    for (const char *part : {"20000x20000", "400000000 pixels", "268435456", "max-pixels"})
        EXPECT_NE(why.str().find(part), std::string::npos) << why.str();
    EXPECT_EQ(rkconv_message_kind(why.text), RKCONV_ERROR_PIXEL_LIMIT);
    EXPECT_EQ(image.pixels(), before);
}

TEST(PixelLimit, BoundaryAndZeroForTheCeiling) {
    struct limit_case {
        std::uint32_t width, height;
        std::uint64_t limit;
        bool refused_by_limit;
    };
    const limit_case cases[] = {
        {100, 50, 5000, false}, {100, 50, 4999, true}, {16385, 16385, 0, false}, {32768, 16385, 0, true}};
    for (const limit_case &c : cases) {
        SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height) + " limit " + std::to_string(c.limit));
        const bytes png = png_declaring(c.width, c.height);
        options settings;
        rkconv_options_set_max_pixels(settings.handle, c.limit);
        image_record image;
        message why;
        // Past the limit the reader runs and fails on the missing pixel data.
        EXPECT_EQ(rkconv_read_bytes(png.data(), png.size(), settings.handle, image.image, nullptr, &why.text), -1);
        EXPECT_EQ(why.str().find("pixels, more than") != std::string::npos, c.refused_by_limit) << why.str();
    }
}

class ThroughMemory : public testing::TestWithParam<int> {};

// Bytes written are the file's bytes, and bytes read give the file's pixels.
TEST_P(ThroughMemory, BytesEqualFiles) {
    const int format = GetParam();
    image_record image;
    rasterkit_image_resize(image.image, 37, 21);
    for (std::size_t i = 0; i < image.pixels().size(); ++i) image.image->data[i] = static_cast<std::uint8_t>(i * 7);
    options settings;
    rkconv_options_set_format(settings.handle, format);
    const fs::path file = fs::temp_directory_path() / ("rkconv-memory-" + std::to_string(format));
    ASSERT_EQ(rkconv_write_file(file.c_str(), image.image, settings.handle, nullptr, nullptr), 0);
    std::uint8_t *encoded = nullptr;
    std::size_t length = 0;
    ASSERT_EQ(rkconv_write_bytes(image.image, settings.handle, nullptr, &encoded, &length, nullptr), 0);
    const bytes from_memory(encoded, encoded + length);
    rkconv_free(encoded);
    EXPECT_EQ(from_memory, file_bytes(file));
    if (format == RKCONV_FORMAT_BMP) {  // the library's own writer's bytes
        rasterkit_writeimage_bmp(file.c_str(), image.image);
        EXPECT_EQ(from_memory, file_bytes(file));
    }

    image_record from_file;
    image_record from_bytes;
    ASSERT_EQ(rkconv_read_file(file.c_str(), nullptr, from_file.image, nullptr, nullptr), 0);
    ASSERT_EQ(rkconv_read_bytes(from_memory.data(), from_memory.size(), nullptr, from_bytes.image, nullptr, nullptr), 0);
    EXPECT_EQ(from_bytes.pixels(), from_file.pixels());
    fs::remove(file);
}

INSTANTIATE_TEST_SUITE_P(Formats, ThroughMemory,
                         testing::Values(RKCONV_FORMAT_BMP, RKCONV_FORMAT_PNG, RKCONV_FORMAT_JPEG));

// Encoded with `base` (may be null) and the format, level and quality.
bytes encode(const rasterkit_image *image, int format, int level = -1, int quality = -1,
             rkconv_options *base = nullptr) {
    options own;
    rkconv_options *settings = base != nullptr ? base : own.handle;
    rkconv_options_set_format(settings, format);
    rkconv_options_set_compression(settings, level);
    rkconv_options_set_quality(settings, quality);
    std::uint8_t *encoded = nullptr;
    std::size_t length = 0;
    message why;
    EXPECT_EQ(rkconv_write_bytes(image, settings, nullptr, &encoded, &length, &why.text), 0) << why.str();
    const bytes result(encoded, encoded + length);
    rkconv_free(encoded);
    return result;
}

bool all_opaque(const bytes &rgba) {
    for (std::size_t i = 3; i < rgba.size(); i += 4)
        if (rgba[i] != 255) return false;
    return true;
}

// Every PNG the encoder writes decodes to exactly the image's pixels; opaque
// images go out as RGB (colour type 2), the others as RGBA (6).
TEST(PngEncoder, LosslessOverTheCorpusAndEveryLevel) {
    std::vector<std::string> files;
    for (const std::string &path : corpus_files())
        if (path.find("/pngsuite/") != std::string::npos || path.find("/photos/") != std::string::npos)
            files.push_back(path);
    if (files.empty()) GTEST_SKIP() << "no corpus";
    constexpr std::size_t colour_type_offset = 25;
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        image_record image;
        rasterkit_readimage(path.c_str(), image.image);
        if (image.image->data == nullptr) continue;
        const bytes png = encode(image.image, RKCONV_FORMAT_PNG);
        ASSERT_GT(png.size(), colour_type_offset);
        EXPECT_EQ(png[colour_type_offset], all_opaque(image.pixels()) ? 2 : 6);
        image_record back;
        ASSERT_EQ(rasterkit_pngbytebuffer_to_img(back.image, png.data(), static_cast<std::int32_t>(png.size())), 0);
        EXPECT_EQ(back.pixels(), image.pixels());
    }
    image_record photo;
    rasterkit_readimage(files.back().c_str(), photo.image);
    for (int level = 0; level <= 9; ++level) {
        const bytes png = encode(photo.image, RKCONV_FORMAT_PNG, level);
        image_record back;
        ASSERT_EQ(rkconv_read_bytes(png.data(), png.size(), nullptr, back.image, nullptr, nullptr), 0) << "level " << level;
        EXPECT_EQ(back.pixels(), photo.pixels()) << "level " << level;
    }
}

// The chunk types of a PNG in order; "CRC" for a chunk whose CRC is wrong.
std::vector<std::string> chunk_types(const bytes &png) {
    std::vector<std::string> types;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        const std::size_t length = std::size_t(png[at]) << 24 | std::size_t(png[at + 1]) << 16 |
                                   std::size_t(png[at + 2]) << 8 | png[at + 3];
        if (at + 12 + length > png.size()) break;
        const uLong crc = crc32(0, png.data() + at + 4, static_cast<uInt>(length + 4));
        const std::uint8_t *stored = png.data() + at + 8 + length;
        const uLong expected = uLong(stored[0]) << 24 | uLong(stored[1]) << 16 | uLong(stored[2]) << 8 | stored[3];
        types.emplace_back(crc == expected ? std::string(png.begin() + at + 4, png.begin() + at + 8) : "CRC");
        at += 12 + length;
    }
    return types;
}

// An image of noise, or of a smooth ramp of samples.
image_record filled(std::int32_t width, std::int32_t height, bool noisy) {
    image_record image(width, height);
    std::uint32_t state = 12345;
    const std::size_t samples = 4 * std::size_t(width) * std::size_t(height);
    for (std::size_t i = 0; i < samples; ++i) {
        state = state * 1664525u + 1013904223u;
        image.image->data[i] = noisy ? static_cast<std::uint8_t>(state >> 24) : static_cast<std::uint8_t>(i * 7);
    }
    return image;
}

// Every shape comes out as signature, IHDR, sRGB, IDAT (several for a
// stream over a megabyte), IEND, each chunk's CRC right, and decodes back.
TEST(PngEncoder, ChunksInOrderForEveryShape) {
    struct shape {
        std::int32_t width, height;
        bool noisy;
    };
    for (const shape &s : {shape{0, 0, false}, shape{1, 1, false}, shape{1, 3000, false}, shape{3000, 1, false},
                           shape{1000, 700, true}}) {
        SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height));
        const image_record image = filled(s.width, s.height, s.noisy);
        const bytes png = encode(image.image, RKCONV_FORMAT_PNG);
        std::vector<std::string> types = chunk_types(png);
        const auto idat = static_cast<std::size_t>(std::count(types.begin(), types.end(), "IDAT"));
        EXPECT_EQ(idat > 1, s.noisy);
        types.erase(std::unique(types.begin(), types.end()), types.end());
        EXPECT_EQ(types, (std::vector<std::string>{"IHDR", "sRGB", "IDAT", "IEND"}));
        image_record back;
        ASSERT_EQ(rasterkit_pngbytebuffer_to_img(back.image, png.data(), static_cast<std::int32_t>(png.size())), 0);
        if (s.width == 0) EXPECT_EQ(back.pixels(), bytes(4, 0));  // no pixels: 1x1 transparent black
        else EXPECT_EQ(back.pixels(), image.pixels());
    }
}

TEST(PngEncoder, AWriteErrorNamesItsCause) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    image_record image(64, 64);
    message why;
    EXPECT_EQ(rkconv_write_file("/dev/full", image.image, nullptr, nullptr, &why.text), -1);
    EXPECT_NE(why.str().find("(No space left on device)"), std::string::npos) << why.str();
    EXPECT_EQ(rkconv_message_errno(why.text), ENOSPC);
}

bytes decoded(const bytes &file) {
    image_record image;
    EXPECT_EQ(rkconv_read_bytes(file.data(), file.size(), nullptr, image.image, nullptr, nullptr), 0);
    return image.pixels();
}

// The first frame marker's code (0xC0 baseline, 0xC1 extended, 0xC2
// progressive) and its first component's sampling byte.
std::pair<int, int> frame_of(const bytes &jpeg) {
    for (std::size_t at = 2; at + 12 < jpeg.size();) {
        const int marker = jpeg[at + 1];
        if (marker >= 0xC0 && marker <= 0xC2) return {marker, jpeg[at + 11]};
        at += 2 + (std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3]);
    }
    return {0, 0};
}

// The encoder's tables are built for each image: the pixels of the library's
// own writer at the same quality (which keeps libjpeg's standard tables) in
// fewer bytes; progressive gives them again; 4:4:4 samples chroma whole.
TEST(JpegEncoder, OptimizedAndProgressiveKeepTheWritersPixels) {
    const fs::path file = fs::temp_directory_path() / "rkconv-jpeg-reference.jpg";
    const std::string photos = std::string(RASTERKIT_CORPUS_DIR) + "/photos/";
    std::vector<std::string> sources{std::string(RASTERKIT_FIXTURES_DIR) + "/testpfp0.png"};
    if (fs::exists(photos + "kodim23.png")) sources.push_back(photos + "kodim23.png");
    for (const std::string &path : sources) {
        image_record image;
        rasterkit_readimage(path.c_str(), image.image);
        image.image->data[3] = 7;  // alpha is dropped by both
        for (int quality : {50, 80, 90, 100}) {
            SCOPED_TRACE(path + " quality " + std::to_string(quality));
            rasterkit_writeimage_jpeg(file.c_str(), image.image, quality);
            const bytes reference = file_bytes(file.string());
            const bytes optimized = encode(image.image, RKCONV_FORMAT_JPEG, -1, quality);
            options progressive;
            rkconv_options_set_progressive(progressive.handle, 1);
            const bytes layered = encode(image.image, RKCONV_FORMAT_JPEG, -1, quality, progressive.handle);
            EXPECT_LT(optimized.size(), reference.size());
            EXPECT_EQ(decoded(optimized), decoded(reference));
            EXPECT_EQ(decoded(layered), decoded(reference));
            EXPECT_EQ(frame_of(reference), std::make_pair(0xC0, 0x22));
            EXPECT_EQ(frame_of(optimized).second, 0x22);
            EXPECT_EQ(frame_of(layered).first, 0xC2);
        }
    }
    image_record image;
    rasterkit_readimage(sources.front().c_str(), image.image);
    options whole;
    rkconv_options_set_chroma(whole.handle, 444);
    EXPECT_EQ(frame_of(encode(image.image, RKCONV_FORMAT_JPEG, -1, 80, whole.handle)).second, 0x11);
    fs::remove(file);
}

// libjpeg's own optimize_coding over the same pixels and settings.
bytes libjpeg_optimized(const rasterkit_image *image, int quality, bool full_chroma) {
    jpeg_compress_struct cinfo;
    jpeg_error_mgr errors;
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&cinfo, &out, &length);
    cinfo.image_width = static_cast<JDIMENSION>(image->width);
    cinfo.image_height = static_cast<JDIMENSION>(image->height);
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_RGBA;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.optimize_coding = TRUE;
    if (full_chroma) cinfo.comp_info[0].h_samp_factor = cinfo.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = image->data + 4 * std::size_t(image->width) * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    const bytes result(out, out + length);
    std::free(out);
    return result;
}

// The encoder builds its tables from its own symbols without libjpeg's
// buffer of coefficients; the file is the one libjpeg writes when it builds
// them, over odd sizes, long codes and stuffed bytes (noise at quality 100)
// and tables of a few symbols, many to a byte (flat images).
TEST(JpegEncoder, TablesBuiltAsLibjpegBuildsThem) {
    enum content { ramp, noise, flat };
    struct shape {
        std::int32_t width, height;
        content fill;
    };
    for (const shape &s : {shape{1, 1, ramp}, shape{17, 9, noise}, shape{1, 3000, ramp}, shape{3000, 1, noise},
                           shape{640, 480, noise}, shape{333, 251, ramp}, shape{800, 600, flat}})
        for (int quality : {10, 80, 100})
            for (bool full_chroma : {false, true}) {
                SCOPED_TRACE(std::to_string(s.width) + "x" + std::to_string(s.height) + " quality " +
                             std::to_string(quality) + (full_chroma ? " 4:4:4" : " 4:2:0"));
                const image_record image = s.fill == flat ? image_record(s.width, s.height)
                                                          : filled(s.width, s.height, s.fill == noise);
                options settings;
                if (full_chroma) rkconv_options_set_chroma(settings.handle, 444);
                EXPECT_EQ(encode(image.image, RKCONV_FORMAT_JPEG, -1, quality, settings.handle),
                          libjpeg_optimized(image.image, quality, full_chroma));
            }
}

TEST(JpegEncoder, RowsStraightFromTheDecoder) {
    const image_record large = filled(1280, 1024, false);
    const bytes large_jpeg = encode(large.image, RKCONV_FORMAT_JPEG);
    options to_jpeg;
    rkconv_options_set_format(to_jpeg.handle, RKCONV_FORMAT_JPEG);
    const auto convert = [&](const bytes &input, const char *output, message &why) {
        std::uint8_t *encoded = nullptr;
        std::size_t length = 0;
        const int32_t result = rkconv_convert_memory(nullptr, input.data(), input.size(), output,
                                                     output != nullptr ? nullptr : &encoded,
                                                     output != nullptr ? nullptr : &length, nullptr, to_jpeg.handle,
                                                     &why.text);
        const bytes out(encoded, encoded + length);
        rkconv_free(encoded);
        return std::make_pair(result, out);
    };
    const fs::path small = fs::path(RASTERKIT_CORPUS_DIR) / "jpeg" / "libjpeg-turbo" / "testorig.jpg";
    std::vector<bytes> inputs{large_jpeg};
    if (fs::exists(small)) inputs.push_back(file_bytes(small.string()));
    for (const bytes &input : inputs) {
        image_record decoded_image;
        ASSERT_EQ(rkconv_read_bytes(input.data(), input.size(), nullptr, decoded_image.image, nullptr, nullptr), 0);
        message quiet;
        EXPECT_EQ(convert(input, nullptr, quiet).second,
                  encode(decoded_image.image, RKCONV_FORMAT_JPEG, -1, -1, to_jpeg.handle));
    }

    const fs::path kept = fs::temp_directory_path() / "rkconv-rows-kept.jpg";
    std::ofstream(kept, std::ios::binary) << "earlier";
    const bytes cut(large_jpeg.begin(), large_jpeg.begin() + std::ptrdiff_t(large_jpeg.size() / 2));
    message why;
    EXPECT_EQ(convert(cut, kept.c_str(), why).first, -1);
    EXPECT_EQ(rkconv_message_kind(why.text), RKCONV_ERROR_DAMAGED);
    EXPECT_NE(why.str().find("damaged JPEG data (Premature end of JPEG file)"), std::string::npos) << why.str();
    EXPECT_EQ(file_bytes(kept.string()), bytes({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
    if (fs::exists("/dev/full")) {
        message full;
        EXPECT_EQ(convert(large_jpeg, "/dev/full", full).first, -1);
        EXPECT_EQ(rkconv_message_errno(full.text), ENOSPC) << full.str();
    }
    rkconv_options_set_accept_damaged(to_jpeg.handle, 1);
    message warned;
    EXPECT_EQ(convert(cut, kept.c_str(), warned).first, 0);
    EXPECT_NE(warned.str().find("Premature end of JPEG file"), std::string::npos) << warned.str();
    fs::remove(kept);
}

TEST(JpegEncoder, ItsSettingsAreRefusedWhereTheyCannotApply) {
    image_record image(8, 8);
    const struct {
        std::function<void(rkconv_options *)> set;
        int format;
        const char *said;
    } cases[] = {
        {[](rkconv_options *o) { rkconv_options_set_progressive(o, 1); }, RKCONV_FORMAT_PNG,
         "progressive applies to JPEG output only"},
        {[](rkconv_options *o) { rkconv_options_set_chroma(o, 444); }, RKCONV_FORMAT_BMP,
         "chroma applies to JPEG output only"},
        {[](rkconv_options *o) { rkconv_options_set_chroma(o, 422); }, RKCONV_FORMAT_JPEG,
         "chroma must be 444 or 420, not 422"},
    };
    for (const auto &c : cases) {
        options settings;
        c.set(settings.handle);
        rkconv_options_set_format(settings.handle, c.format);
        std::uint8_t *encoded = nullptr;
        std::size_t length = 0;
        message why;
        EXPECT_EQ(rkconv_write_bytes(image.image, settings.handle, nullptr, &encoded, &length, &why.text), -1);
        EXPECT_EQ(why.str(), c.said);
        EXPECT_EQ(rkconv_message_kind(why.text), RKCONV_ERROR_BAD_ARGUMENT);
    }
}

// The eight orientations of one photo, each file carrying only its EXIF tag,
// come out as ImageMagick's -auto-orient makes them; without auto-orient the
// stored pixels come out as they are.
TEST(Orientation, UprightAsImageMagickTurnsIt) {
    const std::string folder = std::string(RASTERKIT_TEST_DATA_DIR) + "/orientation/";
    image_record stored;
    options raw;
    rkconv_options_set_auto_orient(raw.handle, 0);
    ASSERT_EQ(rkconv_read_file((folder + "o1.jpg").c_str(), raw.handle, stored.image, nullptr, nullptr), 0);
    for (int n = 1; n <= 8; ++n) {
        SCOPED_TRACE("orientation " + std::to_string(n));
        const std::string jpeg = folder + "o" + std::to_string(n) + ".jpg";
        rkconv_header header{};
        struct metadata_holder {
            rkconv_metadata *handle = rkconv_metadata_new();
            ~metadata_holder() { rkconv_metadata_free(handle); }
        } metadata;
        ASSERT_EQ(rkconv_probe_file(jpeg.c_str(), &header, metadata.handle, nullptr), 0);
        EXPECT_EQ(rkconv_metadata_orientation(metadata.handle), n);

        image_record upright;
        image_record expected;
        ASSERT_EQ(rkconv_read_file(jpeg.c_str(), nullptr, upright.image, nullptr, nullptr), 0);
        rasterkit_readimage((folder + "o" + std::to_string(n) + "-upright.png").c_str(), expected.image);
        EXPECT_EQ(upright.image->width, expected.image->width);
        EXPECT_EQ(upright.pixels(), expected.pixels());

        image_record as_stored;
        ASSERT_EQ(rkconv_read_file(jpeg.c_str(), raw.handle, as_stored.image, nullptr, nullptr), 0);
        EXPECT_EQ(as_stored.pixels(), stored.pixels());
    }
}

struct metadata_record {
    rkconv_metadata *handle = rkconv_metadata_new();
    metadata_record() = default;
    metadata_record(const metadata_record &) = delete;
    metadata_record &operator=(const metadata_record &) = delete;
    explicit metadata_record(const bytes &profile) {
        rkconv_metadata_set_icc_profile(handle, profile.data(), profile.size());
    }
    ~metadata_record() { rkconv_metadata_free(handle); }
    bytes profile() const {
        std::size_t length = 0;
        const std::uint8_t *data = rkconv_metadata_icc_profile(handle, &length);
        return data == nullptr ? bytes() : bytes(data, data + length);
    }
};

bytes saved(cmsHPROFILE profile) {
    cmsUInt32Number length = 0;
    cmsSaveProfileToMem(profile, nullptr, &length);
    bytes data(length);
    cmsSaveProfileToMem(profile, data.data(), &length);
    cmsCloseProfile(profile);
    return data;
}

// A wide-gamut RGB profile (ProPhoto primaries); with `curve_points`, its tone
// curves are tables that long, which makes the profile as long as wanted.
bytes prophoto_profile(cmsUInt32Number curve_points = 0) {
    const cmsCIExyY white = {0.3457, 0.3585, 1.0};
    const cmsCIExyYTRIPLE primaries = {{0.7347, 0.2653, 1.0}, {0.1596, 0.8404, 1.0}, {0.0366, 0.0001, 1.0}};
    cmsToneCurve *curve = cmsBuildGamma(nullptr, 1.8);
    if (curve_points > 0) {
        std::vector<cmsUInt16Number> table(curve_points);
        for (cmsUInt32Number i = 0; i < curve_points; ++i)
            table[i] = static_cast<cmsUInt16Number>(cmsEvalToneCurveFloat(curve, float(i) / float(curve_points - 1)) * 65535.0f);
        cmsFreeToneCurve(curve);
        curve = cmsBuildTabulatedToneCurve16(nullptr, curve_points, table.data());
    }
    cmsToneCurve *curves[3] = {curve, curve, curve};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(curve);
    return saved(profile);
}

TEST(IccProfile, CarriedByteForByteThroughJpegPngJpeg) {
    image_record image;
    rasterkit_readimage((std::string(RASTERKIT_FIXTURES_DIR) + "/testpfp0.png").c_str(), image.image);
    const bytes short_profile = prophoto_profile();
    const bytes long_profile = prophoto_profile(40000);
    ASSERT_GT(long_profile.size(), 65519u);  // more than one JPEG segment holds
    for (const bytes &profile : {short_profile, long_profile}) {
        SCOPED_TRACE(std::to_string(profile.size()) + " bytes");
        metadata_record carried(profile);
        bytes file;
        for (int format : {RKCONV_FORMAT_JPEG, RKCONV_FORMAT_PNG, RKCONV_FORMAT_JPEG}) {
            options settings;
            rkconv_options_set_format(settings.handle, format);
            std::uint8_t *encoded = nullptr;
            std::size_t length = 0;
            message said;
            ASSERT_EQ(rkconv_write_bytes(image.image, settings.handle, carried.handle, &encoded, &length, &said.text),
                      0);
            EXPECT_EQ(said.str(), "");
            file.assign(encoded, encoded + length);
            rkconv_free(encoded);
            metadata_record read;
            image_record back;
            ASSERT_EQ(rkconv_read_bytes(file.data(), file.size(), nullptr, back.image, read.handle, nullptr), 0);
            const bytes found = read.profile();
            ASSERT_EQ(found, profile) << "format " << format;
            // The next format carries what this one gave back.
            rkconv_metadata_set_icc_profile(carried.handle, found.data(), found.size());
        }
    }
}

TEST(IccProfile, NonRgbAndMalformedAreDroppedAndStripRemoves) {
    image_record image;
    rasterkit_image_resize(image.image, 8, 8);
    cmsToneCurve *gamma = cmsBuildGamma(nullptr, 2.2);
    const bytes grey = saved(cmsCreateGrayProfile(cmsD50_xyY(), gamma));
    cmsFreeToneCurve(gamma);
    const bytes garbage(300, 0x5A);
    // Little CMS opens it; its header's size says one byte more than it has.
    bytes mis_sized = prophoto_profile();
    mis_sized[3] = static_cast<std::uint8_t>(mis_sized[3] + 1);
    struct drop_case {
        bytes profile;
        std::int32_t policy;
        const char *warning;
    };
    const drop_case cases[] = {{grey, RKCONV_PROFILE_KEEP, "not an RGB profile: dropped"},
                               {garbage, RKCONV_PROFILE_KEEP, "malformed: dropped"},
                               {mis_sized, RKCONV_PROFILE_KEEP, "malformed: dropped"},
                               {prophoto_profile(), RKCONV_PROFILE_STRIP, ""}};
    for (const drop_case &c : cases) {
        for (int format : {RKCONV_FORMAT_PNG, RKCONV_FORMAT_JPEG}) {
            SCOPED_TRACE(std::string(c.warning) + " format " + std::to_string(format));
            metadata_record given(c.profile);
            options settings;
            rkconv_options_set_format(settings.handle, format);
            rkconv_options_set_profile(settings.handle, c.policy);
            std::uint8_t *encoded = nullptr;
            std::size_t length = 0;
            message said;
            ASSERT_EQ(rkconv_write_bytes(image.image, settings.handle, given.handle, &encoded, &length, &said.text), 0);
            const bytes file(encoded, encoded + length);
            rkconv_free(encoded);
            EXPECT_NE(said.str().find(c.warning), std::string::npos) << said.str();
            metadata_record read;
            image_record back;
            ASSERT_EQ(rkconv_read_bytes(file.data(), file.size(), nullptr, back.image, read.handle, nullptr), 0);
            EXPECT_TRUE(read.profile().empty());
        }
    }
}

// --to-srgb gives the pixels Little CMS's own transform gives, and no profile.
TEST(IccProfile, ToSrgbMatchesLittleCms) {
    image_record image;
    rasterkit_readimage((std::string(RASTERKIT_FIXTURES_DIR) + "/testpfp0.png").c_str(), image.image);
    const bytes profile = prophoto_profile();
    metadata_record carried(profile);
    const fs::path jpeg = fs::temp_directory_path() / "rkconv-prophoto.jpg";
    const fs::path png = fs::temp_directory_path() / "rkconv-srgb.png";
    ASSERT_EQ(rkconv_write_file(jpeg.c_str(), image.image, nullptr, carried.handle, nullptr), 0);
    image_record stored;
    ASSERT_EQ(rkconv_read_file(jpeg.c_str(), nullptr, stored.image, nullptr, nullptr), 0);

    options settings;
    rkconv_options_set_profile(settings.handle, RKCONV_PROFILE_TO_SRGB);
    ASSERT_EQ(rkconv_convert(jpeg.c_str(), -1, png.c_str(), -1, settings.handle, nullptr), 0);
    metadata_record written;
    image_record converted;
    ASSERT_EQ(rkconv_read_file(png.c_str(), nullptr, converted.image, written.handle, nullptr), 0);
    EXPECT_TRUE(written.profile().empty());

    cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform =
        cmsCreateTransform(source, TYPE_RGBA_8, srgb, TYPE_RGBA_8, INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA);
    bytes expected = stored.pixels();
    cmsDoTransform(transform, expected.data(), expected.data(), static_cast<cmsUInt32Number>(expected.size() / 4));
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);
    EXPECT_EQ(converted.pixels(), expected);
    EXPECT_NE(converted.pixels(), stored.pixels());
    fs::remove(jpeg);
    fs::remove(png);
}

// A conversion from bytes to bytes or a file equals the one from a file,
// and says what it wrote.
TEST(Conversion, MemoryOnEitherSide) {
    const std::string source = std::string(RASTERKIT_FIXTURES_DIR) + "/testpfp0.jpg";
    const bytes input = file_bytes(source);
    options settings;
    rkconv_options_set_format(settings.handle, RKCONV_FORMAT_PNG);
    rkconv_options_set_rotate(settings.handle, 90);
    std::uint8_t *encoded = nullptr;
    std::size_t length = 0;
    rkconv_header written{};
    ASSERT_EQ(rkconv_convert_memory(nullptr, input.data(), input.size(), nullptr, &encoded, &length, &written,
                                    settings.handle, nullptr),
              0);
    const bytes from_memory(encoded, encoded + length);
    rkconv_free(encoded);
    const fs::path file = fs::temp_directory_path() / "rkconv-memory.png";
    ASSERT_EQ(rkconv_convert_memory(source.c_str(), nullptr, 0, file.c_str(), nullptr, nullptr, nullptr,
                                    settings.handle, nullptr),
              0);
    EXPECT_EQ(from_memory, file_bytes(file.string()));
    rkconv_header probed{};
    ASSERT_EQ(rkconv_probe_file(file.c_str(), &probed, nullptr, nullptr), 0);
    EXPECT_EQ(std::vector<int>({written.format, written.width, written.height}),
              std::vector<int>({RKCONV_FORMAT_PNG, probed.width, probed.height}));
    fs::remove(file);
    message why;
    EXPECT_EQ(rkconv_convert_memory(nullptr, input.data(), input.size(), nullptr, nullptr, nullptr, nullptr, nullptr,
                                    &why.text),
              -1);
    EXPECT_EQ(rkconv_message_kind(why.text), RKCONV_ERROR_BAD_ARGUMENT);
}

TEST(Descriptors, CarryWholeFilesBothWays) {
    image_record image;
    rasterkit_image_resize(image.image, 5, 4);
    image.image->data[7] = 99;
    options settings;
    rkconv_options_set_format(settings.handle, RKCONV_FORMAT_BMP);
    FILE *stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    ASSERT_EQ(rkconv_write_descriptor(fileno(stream), image.image, settings.handle, nullptr, nullptr), 0);
    ASSERT_EQ(lseek(fileno(stream), 0, SEEK_SET), 0);
    image_record back;
    ASSERT_EQ(rkconv_read_descriptor(fileno(stream), nullptr, back.image, nullptr, nullptr), 0);
    EXPECT_EQ(back.image->width, 5);
    std::fclose(stream);

    message why;
    EXPECT_EQ(rkconv_write_descriptor(STDOUT_FILENO, image.image, nullptr, nullptr, &why.text), -1);
    EXPECT_EQ(why.str(), "the output format must be given when there is no file name");
}

// A link to a file not there yet is followed: the file appears where it
// points and the link stays a link. An image without pixels is written as
// 1x1 transparent black.
TEST(SafeWrite, FollowsALinkToAFileNotYetThere) {
    const fs::path folder = fs::temp_directory_path() / "rkconv-link";
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::create_symlink("target.png", folder / "link.png");
    image_record empty;
    ASSERT_EQ(rkconv_write_file((folder / "link.png").c_str(), empty.image, nullptr, nullptr, nullptr), 0);
    EXPECT_TRUE(fs::is_symlink(folder / "link.png"));
    rkconv_header header{};
    ASSERT_EQ(rkconv_probe_file((folder / "target.png").c_str(), &header, nullptr, nullptr), 0);
    EXPECT_EQ(header.width * header.height, 1);
    fs::remove_all(folder);
}

TEST(Arguments, MissingOnesFailWithAMessage) {
    image_record image;
    rkconv_header header{};
    std::uint8_t *encoded = nullptr;
    std::size_t length = 0;
    rkconv_plan *plan = nullptr;
    const std::function<int(char **)> calls[] = {
        [&](char **m) { return rkconv_probe_file(nullptr, &header, nullptr, m); },
        [&](char **m) { return rkconv_read_file("x.png", nullptr, nullptr, nullptr, m); },
        [&](char **m) { return rkconv_read_bytes(nullptr, 3, nullptr, image.image, nullptr, m); },
        [&](char **m) { return rkconv_read_descriptor(-1, nullptr, image.image, nullptr, m); },
        [&](char **m) { return rkconv_write_file(nullptr, image.image, nullptr, nullptr, m); },
        [&](char **m) { return rkconv_write_bytes(image.image, nullptr, nullptr, &encoded, &length, m); },
        [&](char **m) { return rkconv_write_descriptor(1, nullptr, nullptr, nullptr, m); },
        [&](char **m) { return rkconv_plan_batch(nullptr, 1, "out", 0, &plan, m); },
        [&](char **m) { return rkconv_plan_batch(nullptr, 0, "", 0, &plan, m); },
        [&](char **m) { return rkconv_make_directories("", m); },
    };
    for (const auto &call : calls) {
        message why;
        EXPECT_EQ(call(&why.text), -1);
        EXPECT_FALSE(why.str().empty());
    }
    EXPECT_EQ(rkconv_options_set_format(nullptr, 1), -1);
    EXPECT_EQ(rkconv_plan_input(nullptr, 0), nullptr);
}

}  // namespace
