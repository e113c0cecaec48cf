#include "bench_references.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include "stb_image.h"
#include "stb_image_write.h"

namespace bench {

namespace {

png_image descriptor() {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    return image;
}

void finish_png(png_image &image) {
    image.format = PNG_FORMAT_RGBA;
    void *buffer = std::malloc(PNG_IMAGE_SIZE(image));
    png_image_finish_read(&image, nullptr, buffer, 0, nullptr);
    std::free(buffer);
    png_image_free(&image);
}

void read_jpeg(const std::string &path, J_COLOR_SPACE space) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = space;
    jpeg_start_decompress(&cinfo);
    const std::size_t row = std::size_t{cinfo.output_width} * static_cast<std::size_t>(cinfo.output_components);
    auto *pixels = static_cast<std::uint8_t *>(std::malloc(row * cinfo.output_height));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW p = pixels + row * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
    std::free(pixels);
}

}  // namespace

void libpng_read_file(const std::string &path) {
    png_image image = descriptor();
    if (png_image_begin_read_from_file(&image, path.c_str()) != 0) finish_png(image);
}

void libpng_read_memory(const bytes &png) {
    png_image image = descriptor();
    if (png_image_begin_read_from_memory(&image, png.data(), png.size()) != 0) finish_png(image);
}

void libpng_write_file(const std::string &path, const std::uint8_t *rgba, int width, int height) {
    png_image image = descriptor();
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_image_write_to_file(&image, path.c_str(), 0, rgba, 0, nullptr);
}

void libpng_write_memory(bytes &out, const std::uint8_t *rgba, int width, int height) {
    png_image image = descriptor();
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = out.size();
    png_image_write_to_memory(&image, out.data(), &size, 0, rgba, 0, nullptr);
}

void libpng_write_rgb_file(const std::string &path, const std::uint8_t *rgb, int width, int height) {
    png_image image = descriptor();
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    png_image_write_to_file(&image, path.c_str(), 0, rgb, 0, nullptr);
}

void libjpeg_read_rgb(const std::string &path) { read_jpeg(path, JCS_RGB); }
void libjpeg_read_rgba(const std::string &path) { read_jpeg(path, JCS_EXT_RGBA); }

void libjpeg_write_rgb(const std::string &path, const std::uint8_t *rgb, int width, int height, int quality) {
    std::FILE *file = std::fopen(path.c_str(), "wb");
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW p = const_cast<std::uint8_t *>(rgb) + std::size_t{3} * static_cast<std::size_t>(width) * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &p, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

void stb_read(const std::string &path) {
    int w = 0, h = 0, n = 0;
    stbi_image_free(stbi_load(path.c_str(), &w, &h, &n, 4));
}

void stb_write_jpeg(const std::string &path, const std::uint8_t *rgb, int width, int height, int quality) {
    stbi_write_jpg(path.c_str(), width, height, 3, rgb, quality);
}

void stb_write_bmp(const std::string &path, const std::uint8_t *rgb, int width, int height) {
    stbi_write_bmp(path.c_str(), width, height, 3, rgb);
}

}  // namespace bench
