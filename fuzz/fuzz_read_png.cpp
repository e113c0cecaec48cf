// The PNG reader on arbitrary file contents.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    return fuzzing::read_through(rasterkit_readimage_png, data, size);
}
