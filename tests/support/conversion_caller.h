// What the tests of the conversion library hold as its callers do: an image
// record, the library's options and messages, each freed when it goes, and
// a file's bytes.
#pragma once

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "rasterkit_convert.h"

namespace caller {

using bytes = std::vector<std::uint8_t>;

struct image_record {
    rasterkit_image *image = nullptr;
    explicit image_record(std::int32_t width = 0, std::int32_t height = 0) { rasterkit_image_new(&image, width, height); }
    ~image_record() { rasterkit_image_delete(&image); }
    image_record(const image_record &) = delete;
    image_record &operator=(const image_record &) = delete;
    image_record(image_record &&other) noexcept : image(other.image) { other.image = nullptr; }

    bytes pixels() const {
        if (image->data == nullptr) return {};
        return bytes(image->data, image->data + 4 * std::size_t(image->width) * std::size_t(image->height));
    }
    std::uint8_t *at(std::int32_t x, std::int32_t y) const {
        return image->data + 4 * (std::size_t(y) * std::size_t(image->width) + std::size_t(x));
    }
};

struct message {
    char *text = nullptr;
    message() = default;
    ~message() { rkconv_free(text); }
    message(const message &) = delete;
    message &operator=(const message &) = delete;
    std::string str() const { return text != nullptr ? text : ""; }
};

struct options {
    rkconv_options *handle = rkconv_options_new();
    options() = default;
    ~options() { rkconv_options_free(handle); }
    options(const options &) = delete;
    options &operator=(const options &) = delete;
};

inline bytes file_bytes(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace caller
