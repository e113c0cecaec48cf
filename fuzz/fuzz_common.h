// Helpers for the fuzz targets: the input as a file of this process's own,
// and the record invariant every reader must leave behind.
#ifndef RASTERKIT_FUZZ_COMMON_H
#define RASTERKIT_FUZZ_COMMON_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rasterkit.h"

namespace fuzzing {

inline const std::string &input_path() {
    static const std::string path = "/tmp/rasterkit-fuzz-" + std::to_string(::getpid()) + ".bin";
    return path;
}

inline const char *write_input(const std::uint8_t *data, std::size_t size) {
    std::FILE *file = std::fopen(input_path().c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
    return input_path().c_str();
}

// Empty, or sized with every byte of the buffer readable.
inline void check_record(const rasterkit_image *image) {
    if (image->data == nullptr) {
        if (image->width != 0 || image->height != 0) std::abort();
        return;
    }
    if (image->width <= 0 || image->height <= 0) std::abort();
    const std::size_t bytes = 4u * static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->height);
    volatile std::uint8_t sum = 0;
    for (std::size_t i = 0; i < bytes; i += 4093) sum = static_cast<std::uint8_t>(sum + image->data[i]);
    sum = static_cast<std::uint8_t>(sum + image->data[bytes - 1]);
}

using reader = void (*)(const char *, rasterkit_image *);

inline int read_through(reader read, const std::uint8_t *data, std::size_t size) {
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, 2, 2);
    read(write_input(data, size), image);
    check_record(image);
    rasterkit_image_delete(&image);
    return 0;
}

}  // namespace fuzzing

#endif
