#include "support/reference_codecs.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace testing_support {

namespace {

Decoded finish_png(png_image &image) {
    Decoded d;
    image.format = PNG_FORMAT_RGBA;
    d.samples.resize(PNG_IMAGE_SIZE(image));
    if (png_image_finish_read(&image, nullptr, d.samples.data(), 0, nullptr) == 0) return Decoded{};
    d.ok = true;
    d.width = static_cast<std::int32_t>(image.width);
    d.height = static_cast<std::int32_t>(image.height);
    d.components = 4;
    return d;
}

struct jump_error_mgr {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void silent_exit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<jump_error_mgr *>(cinfo->err)->jump, 1); }
void silent_message(j_common_ptr) {}

}  // namespace

Decoded reference_png_file(const std::string &path) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_file(&image, path.c_str()) == 0) return Decoded{};
    Decoded d = finish_png(image);
    png_image_free(&image);
    return d;
}

Decoded reference_png_memory(const std::vector<std::uint8_t> &png) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (png_image_begin_read_from_memory(&image, png.data(), png.size()) == 0) return Decoded{};
    Decoded d = finish_png(image);
    png_image_free(&image);
    return d;
}

Decoded reference_jpeg_file(const std::string &path, bool rgba) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return Decoded{};
    jpeg_decompress_struct cinfo;
    jump_error_mgr err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = silent_exit;
    err.pub.output_message = silent_message;
    Decoded *result = new Decoded;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        delete result;
        return Decoded{};
    }
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    if (rgba) cinfo.out_color_space = JCS_EXT_RGBA;
    jpeg_calc_output_dimensions(&cinfo);
    if (std::uint64_t{cinfo.output_width} * cinfo.output_height > (std::uint64_t{1} << 29)) {
        jpeg_destroy_decompress(&cinfo);
        std::fclose(file);
        delete result;
        Decoded refused;
        refused.too_large = true;
        return refused;
    }
    jpeg_start_decompress(&cinfo);
    const std::size_t row = std::size_t{cinfo.output_width} * static_cast<std::size_t>(cinfo.output_components);
    result->samples.resize(row * cinfo.output_height);
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW p = result->samples.data() + cinfo.output_scanline * row;
        jpeg_read_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_decompress(&cinfo);
    result->ok = true;
    result->width = static_cast<std::int32_t>(cinfo.output_width);
    result->height = static_cast<std::int32_t>(cinfo.output_height);
    result->components = cinfo.output_components;
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    Decoded d = std::move(*result);
    delete result;
    return d;
}

std::vector<std::uint8_t> reference_jpeg_rgb_encoding(const rasterkit_image *image, int quality) {
    const std::size_t w = static_cast<std::size_t>(image->width);
    const std::size_t h = static_cast<std::size_t>(image->height);
    std::vector<std::uint8_t> rgb(w * h * 3);
    for (std::size_t i = 0; i < w * h; ++i) std::memcpy(&rgb[3 * i], &image->data[4 * i], 3);

    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char *out = nullptr;
    unsigned long out_size = 0;
    jpeg_mem_dest(&cinfo, &out, &out_size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW p = rgb.data() + cinfo.next_scanline * 3 * w;
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<std::uint8_t> bytes(out, out + out_size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

std::vector<std::uint8_t> make_png(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t> &rgba) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    png_image_write_to_memory(&image, nullptr, &size, 0, rgba.data(), 0, nullptr);
    std::vector<std::uint8_t> png(size);
    png_image_write_to_memory(&image, png.data(), &size, 0, rgba.data(), 0, nullptr);
    png.resize(size);
    return png;
}

}  // namespace testing_support
