#include "writing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "descriptor_io.h"
#include "options.h"
#include "formats/png/png_encoder.h"
#include "record.h"
#include "safe_write.h"
#include "stream.h"

namespace rkconv {
namespace {

status encode(const pixels_to_write &pixels, const write_plan &plan, byte_sink &sink, warnings &said) {
    const format_room *room = room_of(plan.format);
    if (pixels.rows == nullptr) return room->encode(pixels.image, plan.settings, sink, said).on(concerning::output);
    return room->encode_rows(pixels.width, pixels.height, *pixels.rows, plan.settings, sink, said)
        .on(concerning::output);
}

// The pixels to encode: an image without pixels is written as 1x1
// transparent black, as rasterkit's dispatching writers do; null when there
// is no memory for that.
class encodable {
public:
    explicit encodable(const pixels_to_write &pixels) : pixels_(pixels) {
        if (pixels.rows != nullptr || pixels.image->data != nullptr) return;
        pixels_ = {};
        if (substitute_.valid() && rasterkit_image_resize(substitute_.get(), 1, 1) == 0)
            pixels_ = pixels_to_write::of(substitute_.get());
    }
    const pixels_to_write *get() const { return pixels_.rows != nullptr || pixels_.image != nullptr ? &pixels_ : nullptr; }

private:
    pixels_to_write pixels_;
    record substitute_;
};

// A write whose rows stopped coming failed for the input's sake.
status input_first(status fault, const pixels_to_write &pixels) {
    if (pixels.rows != nullptr && !pixels.rows->failure().ok()) return pixels.rows->failure();
    return fault;
}

// The profile to carry, or null with the reason it is dropped.
const std::vector<std::uint8_t> *profile_to_carry(const rkconv_metadata &metadata, warnings &said) {
    if (metadata.icc_profile.empty()) return nullptr;
    if (!metadata.icc.readable) {
        said.add(concerning::input, "the colour profile is malformed: dropped");
        return nullptr;
    }
    if (!metadata.icc.rgb) {
        said.add(concerning::input, "the colour profile is not an RGB profile: dropped");
        return nullptr;
    }
    return &metadata.icc_profile;
}

status bad_argument(const std::string &text) { return failure(failure_kind::bad_argument, text).on(concerning::neither); }

// Settings given for a format the output does not have are refused, unless
// each input keeps its own format (then they apply where they can).
status check_applies(const rkconv_options &options, std::int32_t format) {
    if (options.format == format_of_input) return success();
    if (options.quality >= 0 && format != format_jpeg) return bad_argument("quality applies to JPEG output only");
    if (options.compression >= 0 && format != format_png) return bad_argument("compression applies to PNG output only");
    if (options.progressive >= 0 && format != format_jpeg) return bad_argument("progressive applies to JPEG output only");
    if (options.chroma != 0 && format != format_jpeg) return bad_argument("chroma applies to JPEG output only");
    return success();
}

// Writes the file at `path`; the caller judges whether it is complete.
status encode_file(const char *path, const pixels_to_write &pixels, const write_plan &plan, warnings &said) {
    file_handle file = open_stream(path, "wb");
    if (!file) return system_failure(errno, "").on(concerning::output);
    byte_sink sink(file.get());
    status fault = encode(pixels, plan, sink, said);
    if (std::fclose(file.release()) != 0 && fault.ok()) fault = system_failure(errno, "").on(concerning::output);
    return fault;
}

// A failed write says so, with the cause: "could not be written (No space left on device)".
status as_write_failure(status fault, const char *what) {
    if (fault.ok()) return fault;
    fault.text = std::string(what) + " (" + fault.text + ")";
    return fault.on(concerning::output);
}

}  // namespace

status plan_write(const rkconv_options &options, const char *path, std::int32_t input_format,
                  const rkconv_metadata *metadata, write_plan &plan, warnings &said) {
    if (!options.refused.empty()) return bad_argument(options.refused.begin()->second);
    std::int32_t format = options.format == format_of_input ? input_format : options.format;
    if (format == format_by_name && path == nullptr)
        return bad_argument("the output format must be given when there is no file name");
    if (format == format_by_name) {
        format = format_from_extension(path);
        if (format == format_by_name) {
            format = format_png;
            said.add(concerning::output, "unidentified extension: written as PNG");
        }
    }
    plan.format = format;
    if (format < format_bmp || format > format_jpeg) return success();  // decided once the input is known
    if (status s = check_applies(options, format); !s.ok()) return s;
    plan.settings.quality = options.quality >= 0 ? options.quality : jpeg_quality_by_default;
    plan.settings.compression = options.compression >= 0 ? options.compression : default_png_compression;
    plan.settings.progressive = options.progressive == 1;
    plan.settings.full_chroma = options.chroma == full_chroma;
    // BMP has no place for a profile; the sRGB conversion has used it up.
    if (metadata != nullptr && format != format_bmp && options.profile == RKCONV_PROFILE_KEEP)
        plan.settings.icc_profile = profile_to_carry(*metadata, said);
    return success();
}

status write_to_file(const std::string &path, const pixels_to_write &pixels, const write_plan &plan, warnings &said) {
    const encodable writable(pixels);
    if (writable.get() == nullptr) return out_of_memory().on(concerning::output);
    const auto write = [&](const char *at) { return encode_file(at, *writable.get(), plan, said); };
    const status fault = safe_write(path, plan.format, write);
    return input_first(as_write_failure(fault, "could not be written"), pixels);
}

status write_to_bytes(const pixels_to_write &pixels, const write_plan &plan, growing_block &bytes, warnings &said) {
    const encodable writable(pixels);
    if (writable.get() == nullptr) return out_of_memory().on(concerning::output);
    bytes.clear();
    byte_sink sink(bytes);
    if (status fault = encode(*writable.get(), plan, sink, said); !fault.ok()) {
        // The buffer that could not grow is memory, not a file.
        if (fault.system_error == ENOMEM) return out_of_memory().on(concerning::output);
        return input_first(as_write_failure(fault, "could not be encoded"), pixels);
    }
    const read_at read = [&bytes](char *into, std::size_t count, std::uint64_t offset) {
        if (offset > bytes.size() || count > bytes.size() - offset) return false;
        std::memcpy(into, bytes.data() + offset, count);
        return true;
    };
    if (room_of(plan.format)->is_complete(read, bytes.size())) return success();
    return failure(failure_kind::input_output, "the encoded file is incomplete").on(concerning::output);
}

status write_to_descriptor(int fd, const pixels_to_write &pixels, const write_plan &plan, warnings &said) {
    growing_block bytes;
    if (status fault = write_to_bytes(pixels, plan, bytes, said); !fault.ok()) return fault;
    return as_write_failure(write_all(fd, bytes.data(), bytes.size()), "could not be written");
}

}  // namespace rkconv
