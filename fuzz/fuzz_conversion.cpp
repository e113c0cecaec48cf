// The conversion library on hostile bytes: the header probe with its EXIF
// and ICC reading, the limited read from memory (turned upright), the
// encode of whatever was read with the profile it carried, and a thumbnail
// read (a JPEG's scans decoded at 1/8 of its size by the library itself).
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "rasterkit_convert.h"

namespace {

constexpr std::uint64_t fuzz_max_pixels = std::uint64_t{1} << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    rkconv_header header{};
    rkconv_metadata *metadata = rkconv_metadata_new();
    rkconv_probe_bytes(data, size, &header, metadata, nullptr);

    rkconv_options *options = rkconv_options_new();
    rkconv_options_set_max_pixels(options, fuzz_max_pixels);
    rkconv_options_set_format(options, RKCONV_FORMAT_PNG);
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, 0, 0);
    char *message = nullptr;
    if (rkconv_read_bytes(data, size, options, image, metadata, &message) == 0) {
        std::uint8_t *encoded = nullptr;
        std::size_t length = 0;
        rkconv_write_bytes(image, options, metadata, &encoded, &length, nullptr);
        rkconv_free(encoded);
    }
    if (header.width > 0 && header.height > 0) {
        constexpr std::int32_t reduction = 16;  // leaves twice for the kernel after 1/8
        rkconv_options_set_resize(options, std::max(1, header.width / reduction), std::max(1, header.height / reduction));
        rkconv_options_set_accept_damaged(options, 1);
        rasterkit_image_delete(&image);
        rasterkit_image_new(&image, 0, 0);
        rkconv_read_bytes(data, size, options, image, nullptr, nullptr);
    }
    rkconv_metadata_free(metadata);
    rkconv_free(message);
    rasterkit_image_delete(&image);
    rkconv_options_free(options);
    return 0;
}
