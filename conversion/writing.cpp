#include "writing.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "stream.h"
#include "completeness.h"
#include "jpeg_encoder.h"
#include "memory_file.h"
#include "options.h"
#include "png_encoder.h"
#include "record.h"
#include "safe_write.h"

namespace rkconv {
namespace {

// An image without pixels is written as 1x1 transparent black, as
// rasterkit's dispatching writers do.
class writable_image {
public:
    explicit writable_image(const rasterkit_image *image) : image_(image) {
        if (image->data != nullptr) return;
        if (substitute_.valid() && rasterkit_image_resize(substitute_.get(), 1, 1) == 0) image_ = substitute_.get();
    }
    const rasterkit_image *get() const { return image_->data != nullptr ? image_ : nullptr; }

private:
    const rasterkit_image *image_;
    record substitute_;
};

std::string encode(const rasterkit_image *image, const write_plan &plan, byte_sink &sink, std::string &warning) {
    if (plan.format == format_jpeg) return encode_jpeg(image, jpeg_settings{plan.quality, plan.icc_profile}, sink);
    std::string refused;
    std::string fault = encode_png(image, png_settings{plan.compression, plan.icc_profile, &refused}, sink);
    add_warning(warning, refused);
    return fault;
}

// The profile to carry, or null with the reason it is dropped.
const std::vector<std::uint8_t> *profile_to_carry(const rkconv_metadata &metadata, std::string &warning) {
    if (metadata.icc_profile.empty()) return nullptr;
    if (!metadata.icc.readable) {
        warning = "the colour profile is malformed: dropped";
        return nullptr;
    }
    if (!metadata.icc.rgb) {
        warning = "the colour profile is not an RGB profile: dropped";
        return nullptr;
    }
    return &metadata.icc_profile;
}

// Writes the file at `path`; the caller judges whether it is complete.
std::string encode_file(const char *path, const rasterkit_image *image, const write_plan &plan,
                        std::string &warning) {
    if (plan.format == format_bmp) {
        rasterkit_writeimage_bmp(path, image);
        return {};
    }
    file_handle file = open_stream(path, "wb");
    if (!file) return std::strerror(errno);
    byte_sink sink(file.get());
    std::string fault = encode(image, plan, sink, warning);
    if (std::fclose(file.release()) != 0 && fault.empty()) fault = std::strerror(errno);
    return fault;
}

}  // namespace

void add_warning(std::string &warning, const std::string &sentence) {
    if (sentence.empty()) return;
    warning += warning.empty() ? sentence : "; " + sentence;
}

planned_write plan_write(const rkconv_options &options, const char *path, std::int32_t input_format,
                         const rkconv_metadata *metadata) {
    planned_write planned;
    std::int32_t format = options.format == format_of_input ? input_format : options.format;
    if (format == format_by_name && path == nullptr) {
        planned.error = "the output format must be given when there is no file name";
        return planned;
    }
    if (format == format_by_name) {
        format = format_from_extension(path);
        if (format == format_by_name) {
            format = format_png;
            planned.warning = std::string(path) + " has an unidentified extension: written as PNG";
        }
    }
    if (format < format_bmp || format > format_jpeg) {
        planned.error = "unknown output format";
        return planned;
    }
    planned.plan.format = format;
    planned.plan.quality = options.quality >= 0 ? options.quality : jpeg_quality_by_default;
    planned.plan.compression = options.compression >= 0 ? options.compression : default_png_compression;
    // BMP has no place for a profile; the sRGB conversion has used it up.
    if (metadata != nullptr && format != format_bmp && options.profile == RKCONV_PROFILE_KEEP) {
        planned.plan.icc_profile = profile_to_carry(*metadata, planned.profile_warning);
    }
    return planned;
}

std::string write_to_file(const std::string &path, const rasterkit_image *image, const write_plan &plan,
                          std::string &warning) {
    const writable_image writable(image);
    if (writable.get() == nullptr) return "out of memory";
    const auto write = [&](const char *at) { return encode_file(at, writable.get(), plan, warning); };
    return safe_write(path, plan.format, write);
}

std::string write_to_bytes(const rasterkit_image *image, const write_plan &plan, std::vector<std::uint8_t> &bytes,
                           std::string &warning) {
    const writable_image writable(image);
    if (writable.get() == nullptr) return "out of memory";
    bytes.clear();
    if (plan.format != format_bmp) {
        byte_sink sink(bytes);
        if (std::string fault = encode(writable.get(), plan, sink, warning); !fault.empty()) return fault;
    } else {
        memory_file file;
        if (!file.error().empty()) return file.error();
        rasterkit_writeimage_bmp(file.path().c_str(), writable.get());
        if (!file.contents(bytes)) return "the encoded bytes could not be read back";
    }
    return bytes_incompleteness(bytes, plan.format);
}

std::string write_to_descriptor(int fd, const rasterkit_image *image, const write_plan &plan, std::string &warning) {
    std::vector<std::uint8_t> bytes;
    if (std::string fault = write_to_bytes(image, plan, bytes, warning); !fault.empty()) return fault;
    return write_all(fd, bytes.data(), bytes.size());
}

}  // namespace rkconv
