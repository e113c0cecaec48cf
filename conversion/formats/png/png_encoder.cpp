#include "formats/png/png_encoder.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "formats/png/png_filters.h"
#include "formats/png/png_room.h"
#include "large_block.h"
#include "pixel_content.h"

namespace rkconv {
namespace {

constexpr int rgba_channels = 4;
constexpr int rgb_channels = 3;
constexpr std::uint8_t bit_depth = 8;
constexpr std::uint8_t colour_type_rgb = 2;
constexpr std::uint8_t colour_type_rgba = 6;
constexpr std::uint8_t srgb_perceptual = 0;
constexpr std::uint8_t zlib_method = 0;
constexpr char profile_name[] = "ICC profile";
// Decoders read IDAT in pieces anyway; bounded chunks keep each one's
// length field and CRC small to handle.
constexpr std::size_t idat_chunk_bytes = std::size_t{1} << 20;

// The tool's levels 0 to 9 on libdeflate's 0 to 12: 0 stores, 9 is its
// strongest.
constexpr int deflate_levels[] = {0, 1, 2, 3, 5, 6, 8, 10, 11, 12};

struct compressor_freer {
    void operator()(libdeflate_compressor *compressor) const noexcept { libdeflate_free_compressor(compressor); }
};

void put_be32(std::uint8_t *at, std::uint32_t value) {
    at[0] = static_cast<std::uint8_t>(value >> 24);
    at[1] = static_cast<std::uint8_t>(value >> 16);
    at[2] = static_cast<std::uint8_t>(value >> 8);
    at[3] = static_cast<std::uint8_t>(value);
}

// Writes one chunk whose data is `lead` then `data`: its length, type, data
// and the CRC of type and data.
bool put_chunk(byte_sink &sink, const char (&type)[5], const std::uint8_t *data, std::size_t length,
               const std::uint8_t *lead = nullptr, std::size_t lead_length = 0) {
    std::uint8_t head[8];
    put_be32(head, static_cast<std::uint32_t>(lead_length + length));
    std::copy(type, type + 4, head + 4);
    // A null buffer would restart the CRC, as in zlib, so empty parts are left out of it.
    std::uint32_t crc = libdeflate_crc32(0, head + 4, 4);
    if (lead_length != 0) crc = libdeflate_crc32(crc, lead, lead_length);
    if (length != 0) crc = libdeflate_crc32(crc, data, length);
    std::uint8_t tail[4];
    put_be32(tail, crc);
    return sink.write(head, sizeof head) && (lead_length == 0 || sink.write(lead, lead_length)) &&
           (length == 0 || sink.write(data, length)) && sink.write(tail, sizeof tail);
}

// `length` bytes compressed into a zlib stream; an empty block when out of memory.
struct compressed {
    owned_block bytes;
    std::size_t length = 0;
};

compressed compress(libdeflate_compressor *compressor, const std::uint8_t *data, std::size_t length) {
    compressed result;
    const std::size_t bound = libdeflate_zlib_compress_bound(compressor, length);
    result.bytes.reset(allocate_block(bound));
    if (result.bytes) result.length = libdeflate_zlib_compress(compressor, data, length, result.bytes.get(), bound);
    return result;
}

bool put_header(byte_sink &sink, const rasterkit_image *image, bool opaque) {
    std::uint8_t header[13] = {};
    put_be32(header, static_cast<std::uint32_t>(image->width));
    put_be32(header + 4, static_cast<std::uint32_t>(image->height));
    header[8] = bit_depth;
    header[9] = opaque ? colour_type_rgb : colour_type_rgba;  // compression, filter and interlace stay 0
    return sink.write(png_signature.data(), png_signature.size()) && put_chunk(sink, "IHDR", header, sizeof header);
}

status write_failure(const byte_sink &sink) {
    return sink.failure_number() != 0 ? system_failure(sink.failure_number(), "")
                                      : failure(failure_kind::input_output, "Write Error");
}

// An iCCP chunk with the carried profile, else the sRGB chunk; never both.
status put_colours(byte_sink &sink, libdeflate_compressor *compressor, const encode_settings &settings) {
    const std::vector<std::uint8_t> *profile = settings.icc_profile;
    if (profile == nullptr || profile->empty())
        return put_chunk(sink, "sRGB", &srgb_perceptual, 1) ? success() : write_failure(sink);
    const compressed packed = compress(compressor, profile->data(), profile->size());
    if (packed.length == 0) return out_of_memory();
    // The name with its terminating zero, then the compression method.
    std::uint8_t lead[sizeof profile_name + 1];
    std::copy(profile_name, profile_name + sizeof profile_name, lead);
    lead[sizeof profile_name] = zlib_method;
    return put_chunk(sink, "iCCP", packed.bytes.get(), packed.length, lead, sizeof lead) ? success()
                                                                                        : write_failure(sink);
}

bool put_pixels(byte_sink &sink, const compressed &stream) {
    for (std::size_t offset = 0; offset < stream.length; offset += idat_chunk_bytes)
        if (!put_chunk(sink, "IDAT", stream.bytes.get() + offset, std::min(idat_chunk_bytes, stream.length - offset)))
            return false;
    return true;
}

}  // namespace

status encode_png(const rasterkit_image *image, const encode_settings &settings, byte_sink &sink, warnings &) {
    const bool opaque = content_of(image) != pixel_content::transparent;
    const int level = deflate_levels[std::clamp(settings.compression, 0, 9)];
    const std::unique_ptr<libdeflate_compressor, compressor_freer> compressor(libdeflate_alloc_compressor(level));
    const int channels = opaque ? rgb_channels : rgba_channels;
    const std::size_t filtered_bytes = filtered_row_bytes(image->width, channels) * std::size_t(image->height);
    owned_block filtered(allocate_block(filtered_bytes));
    owned_block scratch(allocate_block(filter_scratch_bytes(image->width)));
    if (!compressor || !filtered || !scratch) return out_of_memory();
    // Stored data gains nothing from filtering.
    filter_image(image, channels, level == 0 ? png_row_filters::none_only : png_row_filters::adaptive, scratch.get(),
                 filtered.get());
    scratch.reset();
    const compressed stream = compress(compressor.get(), filtered.get(), filtered_bytes);
    filtered.reset();
    if (stream.length == 0) return out_of_memory();
    if (!put_header(sink, image, opaque)) return write_failure(sink);
    if (status colours = put_colours(sink, compressor.get(), settings); !colours.ok()) return colours;
    if (!put_pixels(sink, stream) || !put_chunk(sink, "IEND", nullptr, 0) || !sink.flush()) return write_failure(sink);
    return success();
}

}  // namespace rkconv
