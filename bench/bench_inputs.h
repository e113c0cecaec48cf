// The benchmark's inputs, made deterministically from one photograph.
#ifndef RASTERKIT_BENCH_INPUTS_H
#define RASTERKIT_BENCH_INPUTS_H

#include <string>

namespace bench {

struct Inputs {
    std::string photo_png_rgba;  // 4000 x 3000 photo-like
    std::string photo_png_rgb;
    std::string photo_jpeg;      // quality 90, 4:2:0
    std::string photo_bmp;       // 24-bit
    std::string screen_png;      // 4000 x 3000 screenshot-like
    std::string small_jpeg;      // about 1 megapixel
    std::string small_png;
};

Inputs input_paths(const std::string &dir);

// Writes every input into `dir` from `photo`; false when the photo cannot be read.
bool make_inputs(const std::string &dir, const std::string &photo);

}  // namespace bench

#endif
