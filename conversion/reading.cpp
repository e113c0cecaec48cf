#include "reading.h"

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <vector>

#include "descriptor_io.h"
#include "large_block.h"
#include "options.h"
#include "orientation.h"
#include "record.h"
#include "scaling/geometry.h"

namespace rkconv {
namespace {

constexpr const char *unknown_format_error = "not a readable BMP, PNG or JPEG file";
constexpr std::size_t leading_bytes = 8;
constexpr std::size_t rgba_bytes = 4;
// EXIF orientations 5 to 8 swap width and height.
constexpr std::int32_t first_transposing_orientation = 5;

status over_limit(const image_header &header, const rkconv_options &options) {
    const std::uint64_t limit = effective_pixel_limit(options);
    const std::uint64_t pixels = std::uint64_t(header.width) * std::uint64_t(header.height);
    if (pixels <= limit) return success();
    std::string text = std::to_string(header.width) + "x" + std::to_string(header.height) + " is " +
                       std::to_string(pixels) + " pixels, more than ";
    if (limit == record_max_pixels)
        return failure(failure_kind::pixel_limit,
                       text + "the library's ceiling of " + std::to_string(limit) + " pixels");
    return failure(failure_kind::pixel_limit,
                   text + "the limit of " + std::to_string(limit) +
                       " pixels; raise the limit to read it (--max-pixels N in the tool, max_pixels=N in Python; 0 "
                       "allows up to the library's ceiling of " +
                       std::to_string(record_max_pixels) + ")");
}

// Runs `step` on one byte source for the input: a file opened once, the
// bytes themselves, or what a descriptor held.
template <typename Step>
status with_source(const input_place &input, Step &&step) {
    if (input.in_memory) {
        byte_source source = byte_source::of_memory(input.bytes, input.length);
        return step(source);
    }
    if (input.path == nullptr) {
        std::vector<std::uint8_t> bytes;
        if (status read = read_all(input.fd, bytes); !read.ok()) return read;
        byte_source source = byte_source::of_memory(bytes.data(), bytes.size());
        return step(source);
    }
    const owned_descriptor file(::open(input.path, O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return system_failure(errno, "cannot be opened");
    byte_source source = byte_source::of_descriptor(file.get());
    return step(source);
}

// The room of the source's first bytes, with the header read.
status open_decoder(byte_source &source, image_header &header, rkconv_metadata *metadata,
                    std::unique_ptr<decoder> &opened) {
    std::uint8_t lead[leading_bytes] = {};
    const std::size_t got = source.read(lead, sizeof lead);
    if (source.read_error() != 0) return system_failure(source.read_error(), "cannot be read");
    const format_room *room = room_of(format_of_leading_bytes(lead, got));
    if (room == nullptr) return failure(failure_kind::not_an_image, unknown_format_error);
    if (!source.seek(0)) return system_failure(errno, "cannot be read");
    opened = room->open_decoder(source);
    return opened->read_header(header, metadata);
}

}  // namespace

status probe_input(const input_place &input, image_header &header, rkconv_metadata *metadata) {
    return with_source(input, [&](byte_source &source) {
        std::unique_ptr<decoder> opened;
        return open_decoder(source, header, metadata, opened);
    });
}

status read_input(const input_place &input, const rkconv_options &options, rasterkit_image *image,
                  rkconv_metadata &metadata, image_header &header, warnings &said, const row_taker &taker) {
    rkconv_metadata found;
    warnings decoder_said;
    status read = with_source(input, [&](byte_source &source) -> status {
        std::unique_ptr<decoder> opened;
        if (status s = open_decoder(source, header, &found, opened); !s.ok()) return s;
        if (status s = over_limit(header, options); !s.ok()) return s;
        if (taker)
            if (std::optional<status> taken = taker(*opened, header, found, decoder_said)) return *taken;
        // The geometry is planned from the upright full size before the decode,
        // which may then shrink on load.
        const bool turned = options.auto_orient && found.orientation >= first_transposing_orientation;
        const std::int32_t upright_width = turned ? header.height : header.width;
        const std::int32_t upright_height = turned ? header.width : header.height;
        planned_size plan;
        const geometry_settings &geometry = options.geometry;
        if (status s = plan_size(geometry, upright_width, upright_height, effective_pixel_limit(options), plan); !s.ok())
            return s;
        decode_settings settings{options.accept_damaged, &found, 1};
        if (opened->shrinks_on_load()) settings.shrink = jpeg_shrink_denominator(geometry, upright_width, upright_height, plan);
        const std::int32_t width = (header.width + settings.shrink - 1) / settings.shrink;
        const std::int32_t height = (header.height + settings.shrink - 1) / settings.shrink;
        // A resize of an image that needs no turn takes the rows as they
        // are decoded, without a decoded image.
        const bool upright = !options.auto_orient || found.orientation <= 1;
        if (upright && resizes_rows(geometry, width, height, plan))
            if (std::unique_ptr<row_stream> rows = opened->start_rows(settings, decoder_said)) {
                record fresh;
                status resized = rows->failure();
                if (resized.ok())
                    resized = fresh.valid() ? resize_rows(*rows, width, height, rows->grey(), geometry, plan, fresh.get())
                                            : out_of_memory();
                // Rows that stopped coming say why themselves.
                if (status stopped = rows->failure(); !stopped.ok()) return stopped;
                if (!resized.ok()) return resized;
                fresh.move_into(image);
                return success();
            }
        owned_block pixels(allocate_zeroed_block(std::size_t(width) * std::size_t(height), rgba_bytes));
        if (!pixels) return out_of_memory();
        if (status s = opened->decode(pixels.get(), settings, decoder_said); !s.ok()) return s;
        record fresh;
        if (!fresh.valid()) return out_of_memory();
        fresh.adopt(pixels.release(), width, height);
        if (options.auto_orient && !orient_upright(found.orientation, fresh.get()))
            return failure(failure_kind::out_of_memory, "out of memory to turn it upright");
        if (status s = apply_geometry(fresh.get(), geometry, plan, upright_width, upright_height); !s.ok()) return s;
        fresh.move_into(image);
        return success();
    });
    if (!read.ok()) return read;
    metadata = std::move(found);
    for (const warning &w : decoder_said.list()) said.add(w.about, w.text);
    return success();
}

}  // namespace rkconv
