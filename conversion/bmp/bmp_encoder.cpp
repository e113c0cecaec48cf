#include <algorithm>
#include <vector>

#include "bmp/bmp_room.h"
#include "rasterkit_rules/bmp_rows.h"

namespace rkconv {
namespace {

constexpr std::size_t rgba_bytes = 4;
constexpr std::uint64_t batch_bytes = std::uint64_t{1} << 20;

}  // namespace

status encode_bmp(const rasterkit_image *image, const encode_settings &, byte_sink &sink, warnings &) {
    const std::int32_t width = image->width;
    const std::int32_t height = image->height;
    const std::uint64_t stride = rasterkit::bmp_row_bytes(static_cast<std::uint64_t>(width), rasterkit::written_bmp_depth);
    rasterkit_bmpfileheader fh{};
    rasterkit_bmpinfoheader ih{};
    rasterkit::written_bmp_headers(width, height, stride, fh, ih);
    unsigned char head[rasterkit::bmp_header_bytes];
    rasterkit::encode_bmp_headers(fh, ih, head);
    if (!sink.write(head, sizeof head)) return system_failure(sink.failure_number(), "");

    // Bottom row first, a batch of rows per write; the padding stays zero.
    const std::uint64_t batch_rows = std::max<std::uint64_t>(1, std::min<std::uint64_t>(std::uint64_t(height), batch_bytes / stride));
    std::vector<std::uint8_t> rows(static_cast<std::size_t>(batch_rows * stride));
    const std::size_t pixel_row = rgba_bytes * static_cast<std::size_t>(width);
    for (std::int32_t k = 0; k < height;) {
        const auto batch = static_cast<std::int32_t>(std::min<std::uint64_t>(batch_rows, std::uint64_t(height - k)));
        for (std::int32_t i = 0; i < batch; ++i, ++k)
            rasterkit::rgba_to_bgr(image->data + static_cast<std::size_t>(height - 1 - k) * pixel_row,
                                   rows.data() + static_cast<std::size_t>(i) * stride, static_cast<std::size_t>(width));
        if (!sink.write(rows.data(), static_cast<std::size_t>(batch) * stride))
            return system_failure(sink.failure_number(), "");
    }
    if (!sink.flush()) return system_failure(sink.failure_number(), "");
    return success();
}

}  // namespace rkconv
