// Format dispatch: reading by content, writing by extension or code, the
// extension routine and the stand-in for images without pixels.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>

#include "rasterkit_rules/extension.h"
#include "support/test_support.h"

using namespace testing_support;

namespace {

std::string extension_of(const char *path, std::int32_t capacity = 20) {
    char buffer[64];
    std::memset(buffer, 'Z', sizeof buffer);
    rasterkit_get_extension(path, buffer, capacity);
    return buffer;
}

std::string warning(const std::string &extension) {
    return "rasterkit_writeimage: Warning: " + extension +
           " is unidentified extension. Writing file with default format of PNG.\n";
}

}  // namespace

TEST(Extension, LastDotLowerCasedAndCut) {
    struct Case {
        const char *path;
        const char *extension;
    };
    const Case cases[] = {
        {"../testimg/testpfp1_1.bmp", ".bmp"},
        {"photo.PNG", ".png"},
        {"photo.JpEg", ".jpeg"},
        {"noextension", ""},
        {".png", ""},
        {"dir/.png", ".png"},
        {"../file", "./file"},
        {"archive.png.bak", ".bak"},
        {"x.abcdefghijklmnopqrstuvwxyz", ".abcdefghijklmnopqr"},
        {"a.", "."},
    };
    for (const Case &c : cases) EXPECT_EQ(extension_of(c.path), c.extension) << c.path;
    EXPECT_EQ(extension_of("a.png", 1), "");
    EXPECT_EQ(extension_of("a.png", 3), ".p");
}

TEST(WriteByExtension, KnownExtensionsSelectTheirFormatSilently) {
    struct Case {
        const char *name;
        std::int32_t format;
    };
    const Case cases[] = {{"a.png", 2}, {"b.PNG", 2}, {"c.Png", 2}, {"d.bmp", 1}, {"e.jpg", 3}, {"f.JPEG", 3}, {"g.Jpg", 3}, {"sub.dir/.png", 2}};
    TempDir dir;
    ::mkdir(dir.file("sub.dir").c_str(), 0755);
    Image image(4, 3);
    fill_pattern(image.get(), 1);
    for (const Case &c : cases) {
        const std::string path = dir.file(c.name);
        OutputCapture out(1);
        rasterkit_writeimage(path.c_str(), image.get());
        EXPECT_EQ(out.finish(), "") << c.name;
        EXPECT_EQ(rasterkit_magic_type(path.c_str()), c.format) << c.name;
    }
}

TEST(WriteByExtension, JpegTargetsUseQuality100) {
    TempDir dir;
    Image image(40, 24);
    fill_pattern(image.get(), 5);
    const std::string by_name = dir.file("a.jpg");
    const std::string direct = dir.file("b.jpg");
    rasterkit_writeimage(by_name.c_str(), image.get());
    rasterkit_writeimage_jpeg(direct.c_str(), image.get(), 100);
    EXPECT_EQ(read_file(by_name), read_file(direct));
}

TEST(WriteByExtension, UnknownExtensionsWarnAndWritePng) {
    const char *names[] = {"x.jpe", "x.tif", "x.gif", "x.png.bak", "bare", ".png", "x.abcdefghijklmnopqrstuvwxyz"};
    const char *shown[] = {".jpe", ".tif", ".gif", ".bak", "", "", ".abcdefghijklmnopqr"};
    TempDir dir;
    WorkingDirectory here(dir.path());
    Image image(2, 2);
    for (std::size_t i = 0; i < sizeof names / sizeof names[0]; ++i) {
        OutputCapture out(1);
        rasterkit_writeimage(names[i], image.get());
        EXPECT_EQ(out.finish(), warning(shown[i])) << names[i];
        EXPECT_EQ(rasterkit_magic_type(names[i]), 2) << names[i];
    }
}

TEST(WriteByExtension, DotDotPathTakesExtensionFromParentStep) {
    TempDir dir;
    ::mkdir(dir.file("work").c_str(), 0755);
    WorkingDirectory here(dir.file("work"));
    Image image(2, 2);
    OutputCapture out(1);
    rasterkit_writeimage("../plainname", image.get());
    EXPECT_EQ(out.finish(), warning("./plainname"));
    EXPECT_EQ(rasterkit_magic_type("../plainname"), 2);
}

TEST(WriteSelect, CodesPickFormatsSilently) {
    const std::int32_t codes[] = {1, 2, 3, -1, 0, 7};
    const std::int32_t formats[] = {1, 2, 3, 2, 2, 2};
    TempDir dir;
    Image image(3, 3);
    for (std::size_t i = 0; i < 6; ++i) {
        const std::string path = dir.file("select" + std::to_string(i) + ".bmp");
        OutputCapture out(1);
        rasterkit_writeimage_select(path.c_str(), image.get(), codes[i]);
        EXPECT_EQ(out.finish(), "");
        EXPECT_EQ(rasterkit_magic_type(path.c_str()), formats[i]) << codes[i];
    }
}

TEST(WriteSubstitute, ImagesWithoutPixelsBecomeOneTransparentBlackPixel) {
    TempDir dir;
    const std::int32_t sizes[][2] = {{0, 0}, {5, 0}, {0, 5}};
    for (const auto &size : sizes) {
        Image image(size[0], size[1]);
        for (const char *ext : {".png", ".bmp", ".jpg"}) {
            const std::string path = dir.file(std::string("empty") + ext);
            rasterkit_writeimage(path.c_str(), image.get());
            Image back(3, 3);
            rasterkit_readimage(path.c_str(), back.get());
            ASSERT_EQ(back.width(), 1) << ext;
            ASSERT_EQ(back.height(), 1) << ext;
            const std::uint32_t p = back.packed(0, 0);
            if (std::string(ext) == ".png") EXPECT_EQ(p, 0u);
            else EXPECT_LE(p & 0xFFFFFF, 0x030303u) << ext;  // black, opaque after BMP/JPEG
        }
        const std::string selected = dir.file("selected");
        rasterkit_writeimage_select(selected.c_str(), image.get(), 1);
        EXPECT_EQ(file_size(selected), 58);
        EXPECT_EQ(image->data, nullptr);
    }
    // A record with a negative size stored by hand is written as the stand-in too.
    rasterkit_image odd{-3, 4, nullptr};
    const std::string path = dir.file("negative.png");
    rasterkit_writeimage(path.c_str(), &odd);
    Image back;
    rasterkit_readimage(path.c_str(), back.get());
    EXPECT_EQ(back.width(), 1);
    EXPECT_EQ(odd.width, -3);
}

TEST(WriteSubstitute, WarningComesBeforeTheEmptyTest) {
    TempDir dir;
    WorkingDirectory here(dir.path());
    Image empty;
    OutputCapture out(1);
    rasterkit_writeimage("empty.gif", empty.get());
    EXPECT_EQ(out.finish(), warning(".gif"));
}

TEST(ReadByContent, NameDoesNotMatter) {
    TempDir dir;
    Image image(6, 4);
    fill_pattern(image.get(), 3);
    struct Case {
        const char *name;
        std::int32_t code;
    };
    const Case cases[] = {{"png.bmp", 2}, {"bmp.jpg", 1}, {"jpeg.png", 3}};
    for (const Case &c : cases) {
        const std::string path = dir.file(c.name);
        rasterkit_writeimage_select(path.c_str(), image.get(), c.code);
        Image back(1, 1);
        OutputCapture out(1);
        rasterkit_readimage(path.c_str(), back.get());
        EXPECT_EQ(out.finish(), "") << c.name;
        EXPECT_EQ(back.width(), 6) << c.name;
        if (c.code != 3) {
            for (std::int32_t y = 0; y < 4; ++y)
                for (std::int32_t x = 0; x < 6; ++x) {
                    const std::uint32_t expected = pattern_value(x, y, 3) | (c.code == 1 ? 0xFF000000u : 0u);
                    ASSERT_EQ(back.packed(x, y), expected) << c.name;
                }
        }
    }
}

TEST(ReadByContent, UnknownOrMissingFilesLeaveImageAndPrint) {
    TempDir dir;
    const std::string gif = dir.file("a.gif");
    write_file(gif, {'G', 'I', 'F', '8', '9', 'a', 0, 0});
    const std::string missing = dir.file("missing.png");
    Image image(2, 2);
    fill_pattern(image.get(), 1);
    const bytes before = image.pixels();
    {
        OutputCapture out(1);
        rasterkit_readimage(gif.c_str(), image.get());
        EXPECT_EQ(out.finish(), "rasterkitreadimage: " + gif + ": unrecognized file type!\n");
    }
    {
        OutputCapture out(1);
        rasterkit_readimage(missing.c_str(), image.get());
        EXPECT_EQ(out.finish(), "rasterkitmagic_type: " + missing + " could not be opened!\nrasterkitreadimage: " +
                                    missing + ": unrecognized file type!\n");
    }
    EXPECT_EQ(image.pixels(), before);
}
