// One room per format: the header probe and the decoder (one object that
// reads the header, then decodes the pixels from the same source), the
// encoder and the completeness check of a written file.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "byte_source.h"
#include "metadata.h"
#include "rasterkit.h"
#include "rasterkit_rules/jpeg_compress.h"
#include "sink.h"
#include "status.h"

namespace rkconv {

struct image_header {
    std::int32_t format = -1;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

struct decode_settings {
    bool accept_damaged = false;  // keep what decodes from damaged data, with a warning
    // What the header said; a decoder that uses up the colour profile (CMYK
    // made RGB) removes it here.
    rkconv_metadata *metadata = nullptr;
    // Decode at 1/2, 1/4 or 1/8 of the size where the format can (JPEG's DCT scaling).
    std::int32_t shrink = 1;
};

// Decoded RGBA rows handed out in order to an encoder that takes them as
// they come, so that no record of the whole image is made.
class row_stream : public rasterkit::rgba_row_source {
public:
    virtual ~row_stream() = default;
    // Why the rows stopped coming; success while they come.
    virtual status failure() const = 0;
    // Whether every row is opaque grey, each pixel's three colour samples
    // equal (a greyscale file's), which a resize can then treat as one channel.
    virtual bool grey() const { return false; }
};

class decoder {
public:
    virtual ~decoder() = default;
    // Parses the header from the source's first byte; the metadata before
    // the pixels goes to `metadata` when it is not null.
    virtual status read_header(image_header &header, rkconv_metadata *metadata) = 0;
    // Decodes the pixels of the header just read into `pixels`, 4 * width *
    // height bytes of zeros in the record's layout.
    virtual status decode(std::uint8_t *pixels, const decode_settings &settings, warnings &said) = 0;
    // Whether decode() honours decode_settings::shrink; otherwise it always
    // gives the header's size.
    virtual bool shrinks_on_load() const { return false; }
    // Instead of decode(): the opaque pixels of the header just read (at
    // 1/shrink of its size where it shrinks on load), row by row, each
    // warning to `said`, which must outlive the stream. Null where the
    // decoder cannot give rows as they lie (it then still decodes).
    virtual std::unique_ptr<row_stream> start_rows(const decode_settings &, warnings &) { return nullptr; }
};

struct encode_settings {
    int quality = 100;                                       // JPEG
    bool progressive = false;                                // JPEG
    bool full_chroma = false;                                // JPEG: 4:4:4 instead of 4:2:0
    int compression = 2;                                     // PNG
    const std::vector<std::uint8_t> *icc_profile = nullptr;  // carried into PNG and JPEG
};

// Reads `count` bytes at `offset` of a written file; false when they are not all there.
using read_at = std::function<bool(char *into, std::size_t count, std::uint64_t offset)>;

struct format_room {
    std::int32_t format;
    std::unique_ptr<decoder> (*open_decoder)(byte_source &source);
    // `image` has pixels; what the encoder has to say goes to `said` about the output.
    status (*encode)(const rasterkit_image *image, const encode_settings &settings, byte_sink &sink,
                     warnings &said);
    // Whether a written file of `size` bytes is whole, judged by its own structure.
    bool (*is_complete)(const read_at &read, std::uint64_t size);
    // Encodes rows as a decoder gives them; null for a format whose encoder
    // needs the whole image first.
    status (*encode_rows)(std::int32_t width, std::int32_t height, rasterkit::rgba_row_source &rows,
                          const encode_settings &settings, byte_sink &sink, warnings &said);
};

// The header's size, refused as "cannot be read as FORMAT (no usable size)"
// when a record could never hold it.
status accept_size(std::uint64_t width, std::uint64_t height, image_header &header);

const format_room &bmp_room();
const format_room &png_room();
const format_room &jpeg_room();

// The room of a format code; null for any other.
const format_room *room_of(std::int32_t format);
// The format the first bytes of a file announce: BMP and PNG by the shared
// signature rule, JPEG by its start of image and any marker after it;
// format -1 for none.
std::int32_t format_of_leading_bytes(const std::uint8_t *bytes, std::size_t count);

}  // namespace rkconv
