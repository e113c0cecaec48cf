// The conversion library's own decoders: the core readers' pixels over the
// corpus, every JPEG libjpeg decodes whatever its first segment, CMYK made
// RGB, damaged data under both policies, and the kinds of failure.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "rasterkit_convert.h"
#include "support/conversion_caller.h"

namespace {

namespace fs = std::filesystem;
using namespace caller;

const fs::path corpus = RASTERKIT_CORPUS_DIR;

struct read_options : options {
    explicit read_options(bool accept_damaged = false, bool auto_orient = true) {
        rkconv_options_set_accept_damaged(handle, accept_damaged ? 1 : 0);
        rkconv_options_set_auto_orient(handle, auto_orient ? 1 : 0);
    }
};

struct read_outcome {
    int result;
    std::string said;
    std::int32_t kind;
    bytes pixels;
};

read_outcome read_from(const bytes &file, const read_options &settings = read_options()) {
    image_record image;
    message said;
    const int result = rkconv_read_bytes(file.data(), file.size(), settings.handle, image.image, nullptr, &said.text);
    return {result, said.str(), rkconv_message_kind(said.text), image.pixels()};
}

// libjpeg's own decode, as djpeg makes it: RGB for colour files, or the
// stored samples (CMYK as stored) with `space`.
struct reference_jpeg {
    int width = 0, height = 0, components = 0;
    bool adobe = false;
    bytes samples;
};

struct jpeg_failure {
    jpeg_error_mgr manager;
    std::jmp_buf resume;
};

[[noreturn]] void leave(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<jpeg_failure *>(cinfo->err)->resume, 1); }

bool decode_reference(const bytes &file, J_COLOR_SPACE space, reference_jpeg &out) {
    jpeg_decompress_struct cinfo{};
    jpeg_failure failure{};
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = leave;
    if (setjmp(failure.resume)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = space;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.components = cinfo.output_components;
    out.adobe = cinfo.saw_Adobe_marker != 0;
    out.samples.resize(std::size_t(out.width) * std::size_t(out.height) * std::size_t(out.components));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = out.samples.data() + std::size_t(cinfo.output_scanline) * std::size_t(out.width) *
                                                std::size_t(out.components);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

int jpeg_components(const bytes &file) {
    jpeg_decompress_struct cinfo{};
    jpeg_failure failure{};
    cinfo.err = jpeg_std_error(&failure.manager);
    failure.manager.error_exit = leave;
    int components = 0;
    if (setjmp(failure.resume) == 0) {
        jpeg_create_decompress(&cinfo);
        jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
        jpeg_read_header(&cinfo, TRUE);
        components = cinfo.num_components;
    }
    jpeg_destroy_decompress(&cinfo);
    return components;
}

// libpng's simplified reader (the core's) gets interlaced 16-bit files wrong:
// basi0g16 does not come out as its non-interlaced twin basn0g16 does. The
// conversion library's decoder gives the twin's pixels.
const char *const interlaced_16_bit[] = {"basi0g16.png", "basi2c16.png", "basi4a16.png", "basi6a16.png",
                                         "bgai4a16.png"};

fs::path twin_of(const fs::path &path) {
    const std::string name = path.filename().string();
    for (const char *interlaced : interlaced_16_bit)
        if (name == interlaced) return path.parent_path() / ("basn" + name.substr(4));
    return path;
}

bytes rgb_as_rgba(const bytes &rgb) {
    bytes rgba;
    for (std::size_t i = 0; i < rgb.size(); i += 3) rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], 255});
    return rgba;
}

// Pillow's and ImageMagick's formula, Adobe's inverted samples taken into account.
bytes cmyk_by_formula(const reference_jpeg &cmyk) {
    bytes rgba;
    for (std::size_t i = 0; i < cmyk.samples.size(); i += 4) {
        const int flip = cmyk.adobe ? 255 : 0;
        const int not_black = 255 - (cmyk.samples[i + 3] ^ flip);
        for (int c = 0; c < 3; ++c) {
            const int product = (cmyk.samples[i + std::size_t(c)] ^ flip) * not_black + 128;
            rgba.push_back(static_cast<std::uint8_t>(not_black - (((product >> 8) + product) >> 8)));
        }
        rgba.push_back(255);
    }
    return rgba;
}

std::vector<fs::path> corpus_images() {
    std::vector<fs::path> found;
    if (!fs::exists(corpus / "README.md")) return found;
    for (const auto &entry : fs::recursive_directory_iterator(corpus)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".png" || ext == ".bmp" || ext == ".jpg" || ext == ".jpeg"))
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Where the core's readers read a file, the conversion library gives the
// same pixels (damage accepted, as those readers accept it), from the file
// and from its bytes alike. CMYK and two-component files are left out: the
// core stores their samples as they are; interlaced 16-bit PNGs are compared
// with their twins.
TEST(Decoders, GiveTheCoreReadersPixelsOverTheCorpus) {
    const std::vector<fs::path> files = corpus_images();
    if (files.empty()) GTEST_SKIP() << "no corpus at " << corpus;
    int compared = 0;
    for (const fs::path &path : files) {
        SCOPED_TRACE(path.string());
        image_record core;
        rasterkit_readimage(twin_of(path).c_str(), core.image);
        const bytes content = file_bytes(path);
        const bool neither_grey_nor_colour =
            rasterkit_magic_type(path.c_str()) == 3 && jpeg_components(content) != 1 && jpeg_components(content) != 3;
        if (core.image->data == nullptr || neither_grey_nor_colour) continue;
        const read_options lenient(true, false);
        image_record from_file;
        message why;
        ASSERT_EQ(rkconv_read_file(path.c_str(), lenient.handle, from_file.image, nullptr, &why.text), 0) << why.str();
        EXPECT_EQ(from_file.image->width, core.image->width);
        EXPECT_EQ(from_file.image->height, core.image->height);
        EXPECT_TRUE(from_file.pixels() == core.pixels());
        EXPECT_TRUE(read_from(content, lenient).pixels == core.pixels());
        ++compared;
    }
    EXPECT_GT(compared, 300);
}

// The segments of a JPEG between its start of image and its first scan.
struct jpeg_segments {
    std::vector<bytes> before_scan;
    bytes rest;  // from the first scan on
};

jpeg_segments split(const bytes &jpeg) {
    jpeg_segments parts;
    std::size_t at = 2;
    while (at + 4 <= jpeg.size() && jpeg[at + 1] != 0xDA) {
        const std::size_t length = std::size_t(jpeg[at + 2]) << 8 | jpeg[at + 3];
        parts.before_scan.emplace_back(jpeg.begin() + std::ptrdiff_t(at), jpeg.begin() + std::ptrdiff_t(at + 2 + length));
        at += 2 + length;
    }
    parts.rest.assign(jpeg.begin() + std::ptrdiff_t(at), jpeg.end());
    return parts;
}

// The same JPEG with `first` moved (or put) right after its start of image.
bytes with_first(const jpeg_segments &parts, const bytes &first) {
    bytes out = {0xFF, 0xD8};
    out.insert(out.end(), first.begin(), first.end());
    for (const bytes &segment : parts.before_scan)
        if (segment != first) out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), parts.rest.begin(), parts.rest.end());
    return out;
}

bytes marker_segment(std::uint8_t marker, const std::string &payload) {
    bytes segment = {0xFF, marker, 0, static_cast<std::uint8_t>(payload.size() + 2)};
    for (const char c : payload) segment.push_back(static_cast<std::uint8_t>(c));
    return segment;
}

// Whatever marker follows the start of image (APP0 to APP15, COM, DQT, DHT,
// SOF), the file is probed and read, with djpeg's pixels.
TEST(Decoders, ReadEveryFirstSegmentAsDjpegDoes) {
    const fs::path source = corpus / "jpeg" / "libjpeg-turbo" / "testorig.jpg";
    if (!fs::exists(source)) GTEST_SKIP() << "no corpus";
    const jpeg_segments parts = split(file_bytes(source));
    std::vector<bytes> firsts;
    for (std::uint8_t app = 0xE0; app <= 0xEF; ++app) firsts.push_back(marker_segment(app, "rasterkit"));
    firsts.push_back(marker_segment(0xFE, "a comment"));
    for (const bytes &segment : parts.before_scan)
        if (segment[1] == 0xDB || segment[1] == 0xC4 || segment[1] == 0xC0) firsts.push_back(segment);
    for (const bytes &first : firsts) {
        SCOPED_TRACE("first marker " + std::to_string(first[1]));
        const bytes file = with_first(parts, first);
        reference_jpeg djpeg;
        ASSERT_TRUE(decode_reference(file, JCS_RGB, djpeg));
        rkconv_header header{};
        ASSERT_EQ(rkconv_probe_bytes(file.data(), file.size(), &header, nullptr, nullptr), 0);
        EXPECT_EQ(header.format, RKCONV_FORMAT_JPEG);
        EXPECT_EQ(header.width, djpeg.width);
        const read_outcome read = read_from(file);
        ASSERT_EQ(read.result, 0) << read.said;
        EXPECT_TRUE(read.pixels == rgb_as_rgba(djpeg.samples));
    }
}

// A CMYK (or YCCK) JPEG written by libjpeg, which marks it with Adobe's
// segment; `profile` goes in as APP2.
bytes cmyk_jpeg(J_COLOR_SPACE stored_as, const bytes &profile = {}) {
    constexpr int side = 24;
    bytes samples;
    for (int y = 0; y < side; ++y)
        for (int x = 0; x < side; ++x)
            samples.insert(samples.end(), {std::uint8_t(x * 10), std::uint8_t(y * 10), std::uint8_t((x + y) * 5),
                                           std::uint8_t(x * y % 200)});
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long length = 0;
    jpeg_mem_dest(&cinfo, &out, &length);
    cinfo.image_width = side;
    cinfo.image_height = side;
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, stored_as);
    jpeg_start_compress(&cinfo, TRUE);
    if (!profile.empty()) jpeg_write_icc_profile(&cinfo, profile.data(), static_cast<unsigned int>(profile.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = samples.data() + std::size_t(cinfo.next_scanline) * side * 4;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    bytes file(out, out + length);
    std::free(out);
    return file;
}

// A CMYK output profile made by Little CMS: its table maps CMYK to Lab
// through the plain formula and sRGB, so it is a real profile that differs
// from the formula only by Little CMS's interpolation.
bytes cmyk_profile() {
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHPROFILE lab = cmsCreateLab4Profile(nullptr);
    cmsHTRANSFORM to_lab = cmsCreateTransform(srgb, TYPE_RGB_DBL, lab, TYPE_Lab_DBL, INTENT_PERCEPTUAL, 0);
    constexpr int grid = 5;
    std::vector<cmsUInt16Number> table;
    for (int c = 0; c < grid; ++c)
        for (int m = 0; m < grid; ++m)
            for (int y = 0; y < grid; ++y)
                for (int k = 0; k < grid; ++k) {
                    const double ink[4] = {c / 4.0, m / 4.0, y / 4.0, k / 4.0};
                    const double rgb[3] = {(1 - ink[0]) * (1 - ink[3]), (1 - ink[1]) * (1 - ink[3]),
                                           (1 - ink[2]) * (1 - ink[3])};
                    cmsCIELab colour;
                    cmsDoTransform(to_lab, rgb, &colour, 1);
                    cmsUInt16Number encoded[3];
                    cmsFloat2LabEncodedV2(encoded, &colour);
                    table.insert(table.end(), encoded, encoded + 3);
                }
    cmsHPROFILE profile = cmsCreateProfilePlaceholder(nullptr);
    cmsSetProfileVersion(profile, 2.1);
    cmsSetDeviceClass(profile, cmsSigOutputClass);
    cmsSetColorSpace(profile, cmsSigCmykData);
    cmsSetPCS(profile, cmsSigLabData);
    cmsPipeline *pipeline = cmsPipelineAlloc(nullptr, 4, 3);
    cmsPipelineInsertStage(pipeline, cmsAT_END, cmsStageAllocCLut16bit(nullptr, grid, 4, 3, table.data()));
    cmsWriteTag(profile, cmsSigAToB0Tag, pipeline);
    cmsPipelineFree(pipeline);
    cmsUInt32Number length = 0;
    cmsSaveProfileToMem(profile, nullptr, &length);
    bytes saved(length);
    cmsSaveProfileToMem(profile, saved.data(), &length);
    cmsCloseProfile(profile);
    cmsDeleteTransform(to_lab);
    cmsCloseProfile(lab);
    cmsCloseProfile(srgb);
    return saved;
}

bytes cmyk_by_profile(const reference_jpeg &cmyk, const bytes &profile) {
    cmsHPROFILE source = cmsOpenProfileFromMem(profile.data(), static_cast<cmsUInt32Number>(profile.size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform = cmsCreateTransform(source, cmyk.adobe ? TYPE_CMYK_8_REV : TYPE_CMYK_8, srgb, TYPE_RGB_8,
                                                 INTENT_PERCEPTUAL, 0);
    bytes rgb(cmyk.samples.size() / 4 * 3);
    cmsDoTransform(transform, cmyk.samples.data(), rgb.data(), static_cast<cmsUInt32Number>(rgb.size() / 3));
    cmsDeleteTransform(transform);
    cmsCloseProfile(srgb);
    cmsCloseProfile(source);
    return rgb_as_rgba(rgb);
}

TEST(Decoders, CmykAndYcckBecomeRgbByProfileOrFormula) {
    const bytes profile = cmyk_profile();
    for (J_COLOR_SPACE stored_as : {JCS_CMYK, JCS_YCCK}) {
        SCOPED_TRACE(stored_as == JCS_CMYK ? "CMYK" : "YCCK");
        const bytes plain = cmyk_jpeg(stored_as);
        reference_jpeg samples;
        ASSERT_TRUE(decode_reference(plain, JCS_CMYK, samples));
        ASSERT_TRUE(samples.adobe);
        const read_outcome by_formula = read_from(plain);
        ASSERT_EQ(by_formula.result, 0);
        EXPECT_NE(by_formula.said.find("CMYK without a colour profile"), std::string::npos) << by_formula.said;
        EXPECT_TRUE(by_formula.pixels == cmyk_by_formula(samples));

        const bytes profiled = cmyk_jpeg(stored_as, profile);
        const read_outcome by_profile = read_from(profiled);
        ASSERT_EQ(by_profile.result, 0);
        EXPECT_EQ(by_profile.said, "");
        EXPECT_TRUE(by_profile.pixels == cmyk_by_profile(samples, profile));
        EXPECT_FALSE(by_profile.pixels == by_formula.pixels);
    }
}

bytes truncated(bytes file) {
    file.resize(file.size() / 2);
    return file;
}

// Entropy-coded bytes from the middle of the first scan overwritten.
bytes corrupted(bytes file) {
    const std::uint8_t start_of_scan[] = {0xFF, 0xDA};
    const auto scan = static_cast<std::size_t>(
        std::search(file.begin(), file.end(), std::begin(start_of_scan), std::end(start_of_scan)) - file.begin());
    for (std::size_t i = scan + (file.size() - scan) / 2, n = 0; n < 64 && i + 2 < file.size(); ++i, ++n)
        file[i] = static_cast<std::uint8_t>(n % 2 == 0 ? 0xFF : 0xD3);
    return file;
}

// Damaged data fails by default, naming the cause; accepted, it converts
// with the damage as a warning. Notices that lose nothing only warn.
TEST(Decoders, DamagedDataFailsUnlessAccepted) {
    const fs::path jpeg = corpus / "jpeg" / "libjpeg-turbo" / "testorig.jpg";
    const fs::path png = corpus / "photos" / "kodim23.png";
    if (!fs::exists(jpeg)) GTEST_SKIP() << "no corpus";
    struct damage_case {
        const char *name;
        bytes file;
        const char *cause;
    };
    const damage_case cases[] = {
        {"truncated JPEG", truncated(file_bytes(jpeg)), "Premature end of JPEG file"},
        {"corrupt JPEG", corrupted(file_bytes(jpeg)), "Corrupt JPEG data"},
        {"truncated PNG", truncated(file_bytes(png)), "the file ends early"},
    };
    for (const damage_case &c : cases) {
        SCOPED_TRACE(c.name);
        const read_outcome strict = read_from(c.file);
        EXPECT_EQ(strict.result, -1);
        EXPECT_EQ(strict.kind, RKCONV_ERROR_DAMAGED);
        EXPECT_NE(strict.said.find(c.cause), std::string::npos) << strict.said;
        const read_outcome lenient = read_from(c.file, read_options(true));
        EXPECT_EQ(lenient.result, 0) << lenient.said;
        EXPECT_EQ(lenient.kind, RKCONV_ERROR_NONE);
        EXPECT_NE(lenient.said.find(c.cause), std::string::npos) << lenient.said;
        EXPECT_FALSE(lenient.pixels.empty());
    }
    const read_outcome notice = read_from(file_bytes(corpus / "jpeg" / "jpeg-decoder" / "extraneous-data.jpg"));
    EXPECT_EQ(notice.result, 0);
    EXPECT_NE(notice.said.find("extraneous bytes before marker"), std::string::npos) << notice.said;
}

// Each kind of failure reaches the caller with the file named once.
TEST(Failures, CarryTheirKindAndSystemError) {
    const fs::path missing = fs::temp_directory_path() / "rkconv-no-such-file.png";
    image_record image;
    message why;
    ASSERT_EQ(rkconv_read_file(missing.c_str(), nullptr, image.image, nullptr, &why.text), -1);
    EXPECT_EQ(why.str(), missing.string() + ": cannot be opened (No such file or directory)");
    EXPECT_EQ(rkconv_message_kind(why.text), RKCONV_ERROR_IO);
    EXPECT_EQ(rkconv_message_errno(why.text), ENOENT);

    const bytes gif = {'G', 'I', 'F', '8', '9', 'a', 0, 0};
    EXPECT_EQ(read_from(gif).kind, RKCONV_ERROR_NOT_AN_IMAGE);

    read_options refused;
    EXPECT_EQ(rkconv_options_set_quality(refused.handle, 150), -1);
    message bad;
    const fs::path out = fs::temp_directory_path() / "rkconv-never-written.jpg";
    const std::string fixture = std::string(RASTERKIT_FIXTURES_DIR) + "/testpfp0.png";
    EXPECT_EQ(rkconv_convert(fixture.c_str(), -1, out.c_str(), -1, refused.handle, &bad.text), -1);
    EXPECT_EQ(bad.str(), "quality must be a whole number from 0 to 100, not 150");
    EXPECT_EQ(rkconv_message_kind(bad.text), RKCONV_ERROR_BAD_ARGUMENT);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(rkconv_options_set_quality(refused.handle, 80), 0);

    rkconv_write_facts facts{};
    message not_applying;
    EXPECT_EQ(rkconv_describe_write(refused.handle, "x.png", -1, &facts, &not_applying.text), -1);
    EXPECT_EQ(not_applying.str(), "quality applies to JPEG output only");
    ASSERT_EQ(rkconv_describe_write(refused.handle, "x.JPEG", -1, &facts, nullptr), 0);
    EXPECT_EQ(facts.format, RKCONV_FORMAT_JPEG);
    EXPECT_STREQ(facts.extension, "jpg");
    EXPECT_EQ(facts.quality, 80);
    EXPECT_EQ(rkconv_format_from_name("jpg"), RKCONV_FORMAT_JPEG);
    EXPECT_EQ(rkconv_format_from_name("gif"), -1);
}

// libpng's default write limit is a million rows; PNG's own is 2^31 - 1.
TEST(PngEncoder, WritesImagesTallerThanAMillionRows) {
    image_record tall;
    ASSERT_EQ(rasterkit_image_resize(tall.image, 1, 1048577), 0);
    const std::size_t size = 4 * std::size_t{1048577};
    for (std::size_t i = 0; i < size; ++i) tall.image->data[i] = static_cast<std::uint8_t>(i / 4);
    read_options png;
    rkconv_options_set_format(png.handle, RKCONV_FORMAT_PNG);
    std::uint8_t *encoded = nullptr;
    std::size_t length = 0;
    message why;
    ASSERT_EQ(rkconv_write_bytes(tall.image, png.handle, nullptr, &encoded, &length, &why.text), 0) << why.str();
    const bytes file(encoded, encoded + length);
    rkconv_free(encoded);
    EXPECT_TRUE(read_from(file).pixels == tall.pixels());
}

}  // namespace
