// The exported self-tests: their exact output, the files they write and
// what they do when fixtures are missing. Fixtures are generated here.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "support/test_support.h"

using namespace testing_support;

namespace {

constexpr std::int32_t fixture_width = 12;
constexpr std::int32_t fixture_height = 8;

// A folder holding testimg/ with fixtures and work/ as the working directory.
class SelfTestFolder {
public:
    explicit SelfTestFolder(bool with_fixtures = true) {
        ::mkdir(dir_.file("testimg").c_str(), 0755);
        ::mkdir(dir_.file("work").c_str(), 0755);
        if (!with_fixtures) return;
        Image fixture(fixture_width, fixture_height);
        fill_pattern(fixture.get(), 77);
        for (std::int32_t y = 0; y < fixture_height; ++y)  // opaque, so BMP keeps every byte
            for (std::int32_t x = 0; x < fixture_width; ++x)
                rasterkit_set_pixel(fixture.get(), x, y, pattern_value(x, y, 77) | 0xFF000000u);
        rasterkit_writeimage_bmp(image_path("testpfp0.bmp").c_str(), fixture.get());
        rasterkit_writeimage_png(image_path("testpfp0.png").c_str(), fixture.get());
        rasterkit_writeimage_jpeg(image_path("testpfp0.jpg").c_str(), fixture.get(), 100);
    }
    std::string image_path(const std::string &name) const { return dir_.file("testimg/" + name); }
    std::string work() const { return dir_.file("work"); }

private:
    TempDir dir_;
};

std::string run(void (*test)(), const SelfTestFolder &folder) {
    WorkingDirectory here(folder.work());
    OutputCapture out(1);
    test();
    return out.finish();
}

std::uint32_t fixture_pixel(std::int32_t x, std::int32_t y) { return pattern_value(x, y, 77) | 0xFF000000u; }

void expect_image(const std::string &path, std::int32_t width, std::int32_t height,
                  std::uint32_t (*expected)(std::int32_t, std::int32_t)) {
    Image image;
    rasterkit_readimage(path.c_str(), image.get());
    ASSERT_EQ(image.width(), width) << path;
    ASSERT_EQ(image.height(), height) << path;
    for (std::int32_t y = 0; y < height; ++y)
        for (std::int32_t x = 0; x < width; ++x) ASSERT_EQ(image.packed(x, y), expected(x, y)) << path << " " << x << "," << y;
}

}  // namespace

TEST(ExportedTestFn, SumOfSquaresWrapsAt32Bits) {
    EXPECT_EQ(rasterkit_exportedtestfn(3, 4), 25);
    EXPECT_EQ(rasterkit_exportedtestfn(0, 0), 0);
    EXPECT_EQ(rasterkit_exportedtestfn(-3, 4), 25);
    EXPECT_EQ(rasterkit_exportedtestfn(65536, 1), 1);
    EXPECT_EQ(rasterkit_exportedtestfn(INT32_MIN, INT32_MIN), 0);
    EXPECT_EQ(rasterkit_exportedtestfn(46341, 0), static_cast<std::int32_t>(46341u * 46341u));
}

TEST(SelfTests, InitPrintsRecordOperationsAndTouchesNoFile) {
    SelfTestFolder folder(false);
    EXPECT_EQ(run(rasterkit_test_init, folder),
              "Testing basic image operations for memory leaks...\n"
              "use valgrind...\n"
              "res=0 (1000,1000)\n"
              "res=0 (200,1000)\n"
              "res=0 (500,500)\n"
              "res=0, img2=(500,500), img1=(500,500)\n"
              "res=0 (0,0)\n"
              "res=0 (0,0)\n"
              "res=0, img2=(0,0), img1=(0,0)\n");
}

TEST(SelfTests, LoadSaveWritesMirroredTransposedAndFlippedFixtures) {
    SelfTestFolder folder;
    EXPECT_EQ(run(rasterkit_test_loadsave, folder),
              "Testing basic image loading/saving and conversion...\n"
              "read in (12,8) bitmap image.\n"
              "read in (12,8) png image.\n"
              "read in (12,8) jpg image.\n");
    auto mirrored = [](std::int32_t x, std::int32_t y) { return fixture_pixel(fixture_width - 1 - x, y); };
    auto transposed = [](std::int32_t x, std::int32_t y) { return fixture_pixel(y, x); };
    expect_image(folder.image_path("testpfp0_1.bmp"), 12, 8, mirrored);
    expect_image(folder.image_path("testpfp0_3.png"), 12, 8, mirrored);
    expect_image(folder.image_path("testpfp1_1.bmp"), 8, 12, transposed);
    expect_image(folder.image_path("testpfp1_2.png"), 8, 12, transposed);
    for (const char *jpeg : {"testpfp0_2.jpg", "testpfp1_3.jpg", "testpfp2_3.jpg"})
        EXPECT_EQ(rasterkit_magic_type(folder.image_path(jpeg).c_str()), 3) << jpeg;

    // The JPEG fixture flipped top to bottom, as decoded.
    Image decoded;
    rasterkit_readimage_jpeg(folder.image_path("testpfp0.jpg").c_str(), decoded.get());
    rasterkit_image_flipy(decoded.get());
    Image flipped;
    rasterkit_readimage(folder.image_path("testpfp2_2.png").c_str(), flipped.get());
    EXPECT_EQ(flipped.pixels(), decoded.pixels());
}

TEST(SelfTests, BinReadWriteCopiesAndReencodesThePng) {
    SelfTestFolder folder;
    const bytes png = read_file(folder.image_path("testpfp0.png"));
    const std::string n = std::to_string(png.size());
    EXPECT_EQ(run(rasterkit_test_binreadwrite, folder),
              "Read " + n + " bytes into byte buffer from ../testimg/testpfp0.png\n"
              "check something: 1\n"
              "Interpreted png as (12, 8) image.\n"
              "To write the image to a bytebuffer, I need " + n + " bytes\n"
              "Wrote " + n + " bytes to buffer\n.");
    EXPECT_EQ(read_file(folder.image_path("testpfp0_bwrite.png")), png);
    EXPECT_EQ(read_file(folder.image_path("testpfp0_bwrite2.png")), png);
}

TEST(SelfTests, MissingFixtures) {
    SelfTestFolder folder(false);
    Image one(1, 1);
    const std::string one_pixel_png = std::to_string(rasterkit_pngbytebufferlen(one.get()));
    EXPECT_EQ(run(rasterkit_test_binreadwrite, folder),
              "rasterkit_readbinfile:: could not open ../testimg/testpfp0.png for reading.\n"
              "Read 0 bytes into byte buffer from ../testimg/testpfp0.png\n"
              "check something: 1\n"
              "Interpreted png as (1, 1) image.\n"
              "To write the image to a bytebuffer, I need " + one_pixel_png + " bytes\n"
              "Wrote " + one_pixel_png + " bytes to buffer\n.");
    EXPECT_EQ(file_size(folder.image_path("testpfp0_bwrite.png")), 0);

    const std::string out = run(rasterkit_test_loadsave, folder);
    EXPECT_EQ(out.rfind("Testing basic image loading/saving and conversion...\n"
                        "rasterkit_readimage_bmp: ../testimg/testpfp0.bmp cannot be opened!\n"
                        "read in (1,1) bitmap image.\n"
                        "rasterkitmagic_type: ../testimg/testpfp0.png could not be opened!\n"
                        "rasterkitreadimage: ../testimg/testpfp0.png: unrecognized file type!\n"
                        "read in (1,1) png image.\n",
                        0),
              0u)
        << out;
    EXPECT_EQ(file_size(folder.image_path("testpfp0_1.bmp")), 58);
    Image png;
    rasterkit_readimage_png(folder.image_path("testpfp0_3.png").c_str(), png.get());
    EXPECT_EQ(png.packed(0, 0), 0u);
}
