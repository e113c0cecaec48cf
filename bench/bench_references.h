// The same jobs done by the dependencies alone and by stb_image, each into a
// fresh buffer that is freed again, as a caller of those libraries would.
#ifndef RASTERKIT_BENCH_REFERENCES_H
#define RASTERKIT_BENCH_REFERENCES_H

#include <cstdint>
#include <string>
#include <vector>

namespace bench {

using bytes = std::vector<std::uint8_t>;

void libpng_read_file(const std::string &path);
void libpng_read_memory(const bytes &png);
void libpng_write_file(const std::string &path, const std::uint8_t *rgba, int width, int height);
void libpng_write_memory(bytes &out, const std::uint8_t *rgba, int width, int height);
void libpng_write_rgb_file(const std::string &path, const std::uint8_t *rgb, int width, int height);

void libjpeg_read_rgb(const std::string &path);
void libjpeg_read_rgba(const std::string &path);
void libjpeg_write_rgb(const std::string &path, const std::uint8_t *rgb, int width, int height, int quality);

void stb_read(const std::string &path);
void stb_write_jpeg(const std::string &path, const std::uint8_t *rgb, int width, int height, int quality);
void stb_write_bmp(const std::string &path, const std::uint8_t *rgb, int width, int height);

}  // namespace bench

#endif
