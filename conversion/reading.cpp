#include "reading.h"

#include <climits>
#include <vector>

#include "memory_file.h"
#include "options.h"
#include "orientation.h"
#include "probe.h"
#include "record.h"

namespace rkconv {
namespace {

// Empty when the header's size is within the limit, else the refusal.
std::string over_limit(const header_facts &header, const rkconv_options &options) {
    const std::uint64_t limit = effective_pixel_limit(options);
    const std::uint64_t pixels = std::uint64_t(header.width) * std::uint64_t(header.height);
    if (pixels <= limit) return {};
    std::string text = std::to_string(header.width) + "x" + std::to_string(header.height) + " is " +
                       std::to_string(pixels) + " pixels, more than ";
    if (limit == record_max_pixels) return text + "the library's ceiling of " + std::to_string(limit) + " pixels";
    return text + "the limit of " + std::to_string(limit) +
           " pixels; raise the limit to read it (--max-pixels N in the tool, max_pixels=N in Python; 0 allows up "
           "to the library's ceiling of " +
           std::to_string(record_max_pixels) + ")";
}

void read_with(std::int32_t format, const char *path, rasterkit_image *image) {
    switch (format) {
        case format_bmp:
            rasterkit_readimage_bmp(path, image);
            break;
        case format_png:
            rasterkit_readimage_png(path, image);
            break;
        default:
            rasterkit_readimage_jpeg(path, image);
            break;
    }
}

read_outcome failed(const std::string &name, std::int32_t format, const std::string &why) {
    return {format, name + ": " + why};
}

// The reader fills a record of its own; the caller's record and metadata
// change only on success.
read_outcome adopt(record &fresh, rkconv_metadata &found, const rkconv_options &options, rasterkit_image *image,
                   rkconv_metadata &metadata, const std::string &name, std::int32_t format) {
    if (!fresh.has_pixels()) return failed(name, format, std::string("cannot be read as ") + format_name(format));
    if (options.auto_orient && !orient_upright(found.orientation, fresh.get()))
        return failed(name, format, "out of memory to turn it upright");
    fresh.move_into(image);
    metadata = std::move(found);
    return {format, {}};
}

}  // namespace

read_outcome read_path(const std::string &path, const rkconv_options &options, rasterkit_image *image,
                       rkconv_metadata &metadata) {
    rkconv_metadata found;
    const header_facts header = probe_file(path.c_str(), &found);
    if (!header.error.empty()) return failed(path, header.format, header.error);
    if (const std::string refusal = over_limit(header, options); !refusal.empty())
        return failed(path, header.format, refusal);
    record fresh;
    if (!fresh.valid()) return failed(path, header.format, "out of memory");
    read_with(header.format, path.c_str(), fresh.get());
    return adopt(fresh, found, options, image, metadata, path, header.format);
}

read_outcome read_memory(const std::uint8_t *bytes, std::size_t length, const std::string &name,
                         const rkconv_options &options, rasterkit_image *image, rkconv_metadata &metadata) {
    rkconv_metadata found;
    const header_facts header = probe_memory(bytes, length, &found);
    if (!header.error.empty()) return failed(name, header.format, header.error);
    if (const std::string refusal = over_limit(header, options); !refusal.empty())
        return failed(name, header.format, refusal);
    record fresh;
    if (!fresh.valid()) return failed(name, header.format, "out of memory");
    if (header.format == format_png) {
        if (length > INT32_MAX) return failed(name, header.format, "too many bytes for a PNG read from memory");
        rasterkit_pngbytebuffer_to_img(fresh.get(), bytes, static_cast<std::int32_t>(length));
        return adopt(fresh, found, options, image, metadata, name, header.format);
    }
    memory_file file;
    if (!file.error().empty()) return failed(name, header.format, file.error());
    if (!file.fill(bytes, length)) return failed(name, header.format, "the bytes could not be staged in memory");
    read_with(header.format, file.path().c_str(), fresh.get());
    return adopt(fresh, found, options, image, metadata, name, header.format);
}

read_outcome read_descriptor(int fd, const std::string &name, const rkconv_options &options, rasterkit_image *image,
                             rkconv_metadata &metadata) {
    std::vector<std::uint8_t> bytes;
    if (std::string fault = read_all(fd, bytes); !fault.empty()) return failed(name, -1, fault);
    return read_memory(bytes.data(), bytes.size(), name, options, image, metadata);
}

}  // namespace rkconv
