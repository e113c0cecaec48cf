#include "rasterkit_rules/bmp_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "rasterkit_rules/bmp_header.h"
#include "rasterkit_rules/bmp_rows.h"

namespace rasterkit {
namespace {

constexpr std::uint64_t batch_bytes = std::uint64_t{1} << 20;
constexpr std::size_t rgba_bytes = 4;

}  // namespace

bool write_bmp(const rasterkit_image *image, bmp_put put, void *context) {
    const std::int32_t width = image->width;
    const std::int32_t height = image->height;
    const std::uint64_t stride = bmp_row_bytes(static_cast<std::uint64_t>(width), written_bmp_depth);
    rasterkit_bmpfileheader fh{};
    rasterkit_bmpinfoheader ih{};
    written_bmp_headers(width, height, stride, fh, ih);
    unsigned char head[bmp_header_bytes];
    encode_bmp_headers(fh, ih, head);
    if (!put(context, head, sizeof head)) return false;

    // Rows go out a batch at a time, each put a large one; the padding bytes
    // past 3 * width are zeroed once and never touched.
    const std::uint64_t batch_rows = std::max<std::uint64_t>(1, std::min<std::uint64_t>(std::uint64_t(height), batch_bytes / stride));
    auto *rows = static_cast<std::uint8_t *>(std::calloc(static_cast<std::size_t>(batch_rows * stride), 1));
    if (rows == nullptr) return false;
    const std::size_t pixel_row = rgba_bytes * static_cast<std::size_t>(width);
    bool written = true;
    for (std::int32_t k = 0; k < height && written;) {
        const auto batch = static_cast<std::int32_t>(std::min<std::uint64_t>(batch_rows, std::uint64_t(height - k)));
        for (std::int32_t i = 0; i < batch; ++i, ++k)
            rgba_to_bgr(image->data + static_cast<std::size_t>(height - 1 - k) * pixel_row,
                        rows + static_cast<std::size_t>(i) * stride, static_cast<std::size_t>(width));
        written = put(context, rows, static_cast<std::size_t>(batch) * stride);
    }
    std::free(rows);
    return written;
}

}  // namespace rasterkit
