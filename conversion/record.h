// A rasterkit record owned for the length of one call.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "rasterkit.h"

namespace rkconv {

class record {
public:
    record() { rasterkit_image_new(&image_, 0, 0); }
    ~record() { rasterkit_image_delete(&image_); }
    record(const record &) = delete;
    record &operator=(const record &) = delete;

    bool valid() const { return image_ != nullptr; }
    bool has_pixels() const { return image_ != nullptr && image_->data != nullptr; }
    rasterkit_image *get() const { return image_; }

    // Makes `pixels` (malloc'd, 4 * width * height bytes) the record's buffer.
    void adopt(std::uint8_t *pixels, std::int32_t width, std::int32_t height) {
        std::free(image_->data);
        *image_ = rasterkit_image{width, height, pixels};
    }

    // Hands the pixels to `target`, whose old buffer is freed: the record's
    // fields are public and its buffer comes from malloc, so taking it over
    // costs no copy.
    void move_into(rasterkit_image *target) {
        std::free(target->data);
        *target = *image_;
        *image_ = rasterkit_image{0, 0, nullptr};
    }

private:
    rasterkit_image *image_ = nullptr;
};

}  // namespace rkconv
