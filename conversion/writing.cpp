#include "writing.h"

#include "completeness.h"
#include "memory_file.h"
#include "options.h"
#include "record.h"
#include "safe_write.h"

namespace rkconv {
namespace {

// The format a finished file has, for the completeness check.
std::int32_t written_format(const write_plan &plan, const char *path) {
    if (plan.format != format_by_name) return plan.format;
    const std::int32_t by_name = format_from_extension(path);
    return by_name == format_by_name ? format_png : by_name;
}

// rasterkit's writer for the plan, at `path`. An image without pixels is
// written as 1x1 transparent black, as rasterkit's dispatching writers do.
void encode_at(const char *path, const rasterkit_image *image, const write_plan &plan) {
    record substitute;
    if (image->data == nullptr && substitute.valid() && rasterkit_image_resize(substitute.get(), 1, 1) == 0)
        image = substitute.get();
    if (plan.format == format_jpeg && plan.quality >= 0) {
        rasterkit_writeimage_jpeg(path, image, plan.quality);
        return;
    }
    if (plan.format == format_by_name) {
        rasterkit_writeimage(path, image);
        return;
    }
    rasterkit_writeimage_select(path, image, plan.format);
}

}  // namespace

planned_write plan_write(const rkconv_options &options, const char *path, std::int32_t input_format) {
    planned_write planned;
    std::int32_t format = options.format;
    if (format == format_of_input) format = input_format;
    if (format == format_by_name && path == nullptr) {
        planned.error = "the output format must be given when there is no file name";
        return planned;
    }
    if (format < format_by_name || format > format_jpeg) {
        planned.error = "unknown output format";
        return planned;
    }
    planned.plan.format = format;
    const bool writes_jpeg = written_format(planned.plan, path == nullptr ? "" : path) == format_jpeg;
    if (writes_jpeg && options.quality >= 0) planned.plan = {format_jpeg, options.quality};
    return planned;
}

std::string write_to_file(const std::string &path, const rasterkit_image *image, const write_plan &plan) {
    const auto write = [image, &plan](const char *at) {
        encode_at(at, image, plan);
        return std::string();
    };
    return safe_write(path, written_format(plan, path.c_str()), write);
}

std::string write_to_bytes(const rasterkit_image *image, const write_plan &plan, std::vector<std::uint8_t> &bytes) {
    memory_file file;
    if (!file.error().empty()) return file.error();
    encode_at(file.path().c_str(), image, plan);
    if (!file.contents(bytes)) return "the encoded bytes could not be read back";
    return bytes_incompleteness(bytes, plan.format);
}

std::string write_to_descriptor(int fd, const rasterkit_image *image, const write_plan &plan) {
    std::vector<std::uint8_t> bytes;
    if (std::string fault = write_to_bytes(image, plan, bytes); !fault.empty()) return fault;
    return write_all(fd, bytes.data(), bytes.size());
}

}  // namespace rkconv
