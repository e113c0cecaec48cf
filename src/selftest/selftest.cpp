// Exported self-tests: fixed sequences of library calls on the fixtures in
// "../testimg/", printing what they find for a person (or a memory checker)
// to judge. A failing step does not stop a test.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "fileutil/fileutil.h"
#include "rasterkit.h"

namespace {

constexpr std::int32_t byte_buffer_capacity = 10000000;

// Width and height of a record that may not exist.
std::int32_t width_of(const rasterkit_image *image) { return image != nullptr ? image->width : 0; }
std::int32_t height_of(const rasterkit_image *image) { return image != nullptr ? image->height : 0; }

void print_result(std::int32_t result, const rasterkit_image *image) {
    std::printf("res=%d (%d,%d)\n", result, width_of(image), height_of(image));
}

void print_copy_result(std::int32_t result, const rasterkit_image *to, const rasterkit_image *from) {
    std::printf("res=%d, img2=(%d,%d), img1=(%d,%d)\n", result, width_of(to), height_of(to), width_of(from),
                height_of(from));
}

}  // namespace

extern "C" {

RASTERKIT_API int32_t rasterkit_exportedtestfn(int32_t a, int32_t b) {
    const auto ua = static_cast<std::uint32_t>(a);
    const auto ub = static_cast<std::uint32_t>(b);
    return static_cast<std::int32_t>(ua * ua + ub * ub);
}

RASTERKIT_API void rasterkit_test_init(void) {
    rasterkit_image *img1 = nullptr;
    rasterkit_image *img2 = nullptr;
    std::printf("Testing basic image operations for memory leaks...\n");
    std::printf("use valgrind...\n");

    std::int32_t res = rasterkit_image_new(&img1, 1000, 1000);
    print_result(res, img1);
    res = rasterkit_image_new(&img2, 200, 1000);
    print_result(res, img2);
    res = rasterkit_image_resize(img1, 500, 500);
    print_result(res, img1);
    res = rasterkit_image_copy(img2, img1);
    print_copy_result(res, img2, img1);
    res = rasterkit_image_resize(img1, -10, 3);
    print_result(res, img1);
    res = rasterkit_image_resize(img1, 0, 0);
    print_result(res, img1);
    res = rasterkit_image_copy(img2, img1);
    print_copy_result(res, img2, img1);

    rasterkit_image_delete(&img1);
    rasterkit_image_delete(&img2);
}

RASTERKIT_API void rasterkit_test_loadsave(void) {
    rasterkit_image *img1 = nullptr;
    std::printf("Testing basic image loading/saving and conversion...\n");
    rasterkit_image_new(&img1, 1, 1);
    if (img1 == nullptr) return;

    rasterkit_readimage_bmp("../testimg/testpfp0.bmp", img1);
    std::printf("read in (%d,%d) bitmap image.\n", img1->width, img1->height);
    rasterkit_image_flipx(img1);
    rasterkit_writeimage_bmp("../testimg/testpfp0_1.bmp", img1);
    rasterkit_writeimage_jpeg("../testimg/testpfp0_2.jpg", img1, 90);
    rasterkit_writeimage_png("../testimg/testpfp0_3.png", img1);

    rasterkit_readimage("../testimg/testpfp0.png", img1);
    std::printf("read in (%d,%d) png image.\n", img1->width, img1->height);
    rasterkit_transpose_image(img1);
    rasterkit_writeimage("../testimg/testpfp1_1.bmp", img1);
    rasterkit_writeimage("../testimg/testpfp1_2.png", img1);
    rasterkit_writeimage("../testimg/testpfp1_3.jpg", img1);

    rasterkit_readimage("../testimg/testpfp0.jpg", img1);
    std::printf("read in (%d,%d) jpg image.\n", img1->width, img1->height);
    rasterkit_image_flipy(img1);
    rasterkit_writeimage("../testimg/testpfp2_1.bmp", img1);
    rasterkit_writeimage("../testimg/testpfp2_2.png", img1);
    rasterkit_writeimage("../testimg/testpfp2_3.jpg", img1);

    rasterkit_image_delete(&img1);
}

RASTERKIT_API void rasterkit_test_binreadwrite(void) {
    const char *const source = "../testimg/testpfp0.png";
    auto *bytebuff = static_cast<std::uint8_t *>(std::malloc(byte_buffer_capacity));
    if (bytebuff == nullptr) {
        std::printf("bytebuff failed to allocate.\n");
        return;
    }
    std::int32_t n = 0;
    rasterkit_readbinfile(source, bytebuff, byte_buffer_capacity, &n);
    std::printf("Read %ld bytes into byte buffer from %s\n", static_cast<long>(n), source);
    rasterkit_writebinfile("../testimg/testpfp0_bwrite.png", bytebuff, n);

    rasterkit_image *img1 = nullptr;
    rasterkit_image_new(&img1, 1, 1);
    rasterkit_pngbytebuffer_to_img(img1, bytebuff, n);
    std::printf("check something: %d\n", 1);
    std::printf("Interpreted png as (%d, %d) image.\n", width_of(img1), height_of(img1));

    std::memset(bytebuff, 0, byte_buffer_capacity);
    // The encoders read the record; without one there is nothing to encode.
    n = img1 != nullptr ? rasterkit_pngbytebufferlen(img1) : 0;
    std::printf("To write the image to a bytebuffer, I need %ld bytes\n", static_cast<long>(n));
    if (img1 != nullptr) rasterkit_pngbytebuffer_from_img(img1, bytebuff, byte_buffer_capacity, &n);
    std::printf("Wrote %ld bytes to buffer\n.", static_cast<long>(n));
    rasterkit_writebinfile("../testimg/testpfp0_bwrite2.png", bytebuff, n);

    rasterkit_image_delete(&img1);
    std::free(bytebuff);
}

}  // extern "C"
