// The Huffman re-coding of the JPEG encoder on arbitrary file contents: what
// it accepts it must read whole, and its output re-coded once more must come
// out the same, as the symbols and so the tables are the same.
#include <cstdlib>
#include <cstring>

#include "formats/jpeg/huffman_recoding.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    rkconv::growing_block input;
    if (!input.append(data, size)) return 0;
    rkconv::growing_block once;
    rkconv::byte_sink first(once);
    if (rkconv::write_with_image_tables(input, first) != rkconv::recoding::written) return 0;
    rkconv::growing_block again;
    if (!again.append(once.data(), once.size())) return 0;
    rkconv::growing_block twice;
    rkconv::byte_sink second(twice);
    if (rkconv::write_with_image_tables(again, second) != rkconv::recoding::written) std::abort();
    if (twice.size() != once.size() || std::memcmp(twice.data(), once.data(), once.size()) != 0) std::abort();
    return 0;
}
