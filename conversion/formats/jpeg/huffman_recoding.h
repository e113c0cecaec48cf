// Huffman tables built for one image's own symbols, without holding its
// coefficients: a sequential JPEG coded with any tables is read twice, once
// to count the symbols of its scan and once to code them again with tables
// built from those counts (ITU-T T.81, K.2, as libjpeg builds them), so the
// result is byte for byte what libjpeg writes with optimize_coding, at the
// cost of two passes over the compressed data instead of a buffer of every
// coefficient of the image.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sink.h"

namespace rkconv {

enum class recoding {
    written,
    unsupported,  // not one sequential Huffman scan without restarts, or damaged; nothing written
    out_of_memory,
    sink_failed,
};

// Writes the whole JPEG file in `jpeg` to `sink` with each table its scan
// uses built for the scan's symbols, and every other byte as it was. The
// block is scratch for the work: its scan is rewritten in place and it grows.
recoding write_with_image_tables(growing_block &jpeg, byte_sink &sink);

}  // namespace rkconv
