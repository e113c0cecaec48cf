#include <vector>

#include "formats/bmp/bmp_room.h"
#include "rasterkit_rules/bmp_rows.h"
#include "rasterkit_rules/formats.h"

namespace rkconv {
namespace {

constexpr std::size_t rgba_bytes = 4;

class bmp_decoder final : public decoder {
public:
    explicit bmp_decoder(byte_source &source) : source_(source) {}

    status read_header(image_header &header, rkconv_metadata *) override {
        header.format = rasterkit::format_bmp;
        unsigned char head[rasterkit::bmp_header_bytes] = {};
        source_.read(head, sizeof head);
        if (source_.read_error() != 0) return system_failure(source_.read_error(), "cannot be read");
        rasterkit::decode_bmp_headers(head, file_header_, info_header_);
        switch (rasterkit::judge_bmp_headers(file_header_, info_header_, source_.length())) {
            case rasterkit::bmp_header_verdict::not_a_bitmap:
                return failure(failure_kind::damaged, "cannot be read as bmp (shorter than its header)");
            case rasterkit::bmp_header_verdict::bad_colour_planes:
                return failure(failure_kind::not_an_image, "cannot be read as bmp (colour planes other than 1)");
            case rasterkit::bmp_header_verdict::not_rgb:
                return failure(failure_kind::not_an_image, "cannot be read as bmp (compressed, not RGB)");
            case rasterkit::bmp_header_verdict::readable:
                break;
        }
        return accept_size(static_cast<std::uint64_t>(rasterkit::bmp_dimension(info_header_.width)),
                           static_cast<std::uint64_t>(rasterkit::bmp_dimension(info_header_.height)), header);
    }

    // Depths the library does not decode stay transparent black, as its
    // reader leaves them.
    status decode(std::uint8_t *pixels, const decode_settings &settings, warnings &said) override {
        const std::uint16_t depth = info_header_.bitsperpixel;
        if (!rasterkit::bmp_depth_is_decoded(depth)) return success();
        const auto width = rasterkit::bmp_dimension(info_header_.width);
        const auto height = rasterkit::bmp_dimension(info_header_.height);
        const std::uint64_t stride = rasterkit::bmp_row_bytes(static_cast<std::uint64_t>(width), depth);
        // A short file leaves in the row what the row before held, as the
        // library's reader does.
        std::vector<std::uint8_t> row(static_cast<std::size_t>(stride));
        const rasterkit::bmp_row_placement placed = rasterkit::bmp_placement(info_header_);
        bool whole = source_.seek(file_header_.pixeloffset);
        for (std::int32_t k = 0; k < height; ++k) {
            if (whole && source_.read(row.data(), row.size()) != row.size()) whole = false;
            if (!whole && source_.read_error() != 0) return system_failure(source_.read_error(), "cannot be read");
            if (!whole && !settings.accept_damaged)
                return failure(failure_kind::damaged, "damaged BMP data (the file ends before its last row)");
            const std::int32_t y = placed.rows_bottom_up ? height - 1 - k : k;
            rasterkit::decode_bmp_row(row.data(), depth, pixels + static_cast<std::size_t>(y) * rgba_bytes * static_cast<std::size_t>(width), width,
                                      placed.mirror_columns);
        }
        if (!whole) said.add(concerning::input, "damaged: the file ends before its last row");
        return success();
    }

private:
    byte_source &source_;
    rasterkit_bmpfileheader file_header_{};
    rasterkit_bmpinfoheader info_header_{};
};

}  // namespace

std::unique_ptr<decoder> open_bmp_decoder(byte_source &source) { return std::make_unique<bmp_decoder>(source); }

}  // namespace rkconv
