// Probes and reads: the input is opened once, its header parsed once by its
// format's room, the pixel limit checked, the metadata collected, and the
// pixels decoded from the same source straight into the record's buffer.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "format_room.h"
#include "metadata.h"
#include "rasterkit.h"
#include "rasterkit_convert.h"
#include "status.h"

namespace rkconv {

// Where an input comes from: a path, bytes in memory, or a descriptor read
// to its end first.
struct input_place {
    const char *path = nullptr;
    const std::uint8_t *bytes = nullptr;
    std::size_t length = 0;
    int fd = -1;
    bool in_memory = false;
};

// The header alone; `metadata` (may be null) receives the orientation and
// profile.
status probe_input(const input_place &input, image_header &header, rkconv_metadata *metadata);

// Offered the decoder once the header is read and the input accepted,
// before any pixel is decoded: it may take the pixels as rows itself
// (returning what came of that), with the file's metadata and a list for
// the decoder's warnings, or leave them to be decoded into the image
// (nullopt).
using row_taker = std::function<std::optional<status>(decoder &opened, const image_header &header,
                                                      const rkconv_metadata &metadata, warnings &decoder_said)>;

// On success `image` holds the pixels, turned upright when the options say
// so, `metadata` what the file said and `said` the decoder's warnings; on
// failure image and metadata are as they were. A `taker` that takes the
// rows leaves `image` as it was.
status read_input(const input_place &input, const rkconv_options &options, rasterkit_image *image,
                  rkconv_metadata &metadata, image_header &header, warnings &said, const row_taker &taker = {});

}  // namespace rkconv
