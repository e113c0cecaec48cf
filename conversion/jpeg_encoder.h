// JPEG through libjpeg's full interface, with the calls and defaults of
// rasterkit's writer, so that the same pixels and quality give the same
// bytes. Errors come back as text; the process is never ended.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "rasterkit.h"
#include "sink.h"

namespace rkconv {

struct jpeg_settings {
    int quality = 100;
    const std::vector<std::uint8_t> *icc_profile = nullptr;  // APP2 ICC_PROFILE segments, split as needed
};

// Empty on success, else why not. `image` has pixels.
std::string encode_jpeg(const rasterkit_image *image, const jpeg_settings &settings, byte_sink &sink);

}  // namespace rkconv
