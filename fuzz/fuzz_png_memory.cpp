// The PNG decoder straight from memory.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    rasterkit_image *image = nullptr;
    rasterkit_image_new(&image, 2, 2);
    const auto length = static_cast<std::int32_t>(size > INT32_MAX ? INT32_MAX : size);
    rasterkit_pngbytebuffer_to_img(image, data, length);
    fuzzing::check_record(image);
    rasterkit_image_delete(&image);
    return 0;
}
