// The BMP codec: uncompressed 8-, 24- and 32-bit files in, 24-bit bottom-up
// files out. Header fields move one at a time in little-endian order, so the
// records' layout in memory never reaches a file.
#include "bmp/bmp.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "rasterkit_rules/bmp_rows.h"
#include "rasterkit_rules/bmp_writer.h"
#include "common/handles.h"
#include "fileutil/fileutil.h"
#include "image/image_model.h"

namespace {

constexpr char unread_signature_byte = '?';

// Streams the pixel rows into an image already sized from the header.
void decode_pixels(std::FILE *file, const rasterkit_bmpinfoheader &ih, rasterkit_image *image) {
    if (!rasterkit::bmp_depth_is_decoded(ih.bitsperpixel)) {
        // Undecoded depths give transparent black whatever the rows hold.
        rasterkit_image_clear(image);
        return;
    }
    const std::uint64_t stride = rasterkit::bmp_row_bytes(static_cast<std::uint64_t>(image->width), ih.bitsperpixel);
    // Zero-filled, so bytes the file never supplies read as zero.
    rasterkit::byte_buffer row = rasterkit::allocate_zeroed_bytes(stride);
    if (!row) return;

    const rasterkit::bmp_row_placement placed = rasterkit::bmp_placement(ih);
    const std::int32_t height = image->height;
    for (std::int32_t k = 0; k < height; ++k) {
        rasterkit::read_available(file, row.get(), stride);
        const std::int32_t y = placed.rows_bottom_up ? height - 1 - k : k;
        std::uint8_t *out = rasterkit::row_pixels(image, y);
        if (out != nullptr) rasterkit::decode_bmp_row(row.get(), ih.bitsperpixel, out, image->width, placed.mirror_columns);
    }
}

}  // namespace

void rasterkit_printheaders_bmp(const rasterkit_bmpfileheader *fh, const rasterkit_bmpinfoheader *ih) {
    std::printf("magic: %c%c\n", fh->magic & 0xFF, fh->magic >> 8);
    std::printf("bmpsize: %d\n", static_cast<int>(fh->bmpsize));
    std::printf("res1: %d\n", fh->res1);
    std::printf("res2: %d\n", fh->res2);
    std::printf("pixel offset: %d\n", static_cast<int>(fh->pixeloffset));
    std::printf("\n");
    std::printf("header size: %d\n", static_cast<int>(ih->headersize));
    std::printf("width: %d\n", ih->width);
    std::printf("height: %d\n", ih->height);
    std::printf("colorplanes: %d\n", ih->colorplanes);
    std::printf("bitsperpixel: %d\n", ih->bitsperpixel);
    std::printf("compressionmethod: %d\n", static_cast<int>(ih->compressionmethod));
    std::printf("imsz: %d\n", static_cast<int>(ih->imsz));
    std::printf("horizontal rez: %d\n", ih->horizontalrez);
    std::printf("vertical rez: %d\n", ih->verticalrez);
    std::printf("color pallette: %d\n", static_cast<int>(ih->colorpalette));
    std::printf("ignore: %d\n", static_cast<int>(ih->ignore));
}

extern "C" {

RASTERKIT_API void rasterkit_readimage_bmp(const char *path, rasterkit_image *image) {
    rasterkit::file_handle file = rasterkit::open_stream(path, "rb");
    if (!file) {
        std::printf("rasterkit_readimage_bmp: %s cannot be opened!\n", path);
        return;
    }
    const std::int32_t length = rasterkit_filelength(file.get());

    // Bytes a short file lacks read as zero, and an unread signature as '?'.
    unsigned char head[rasterkit::bmp_header_bytes] = {unread_signature_byte, unread_signature_byte};
    rasterkit::read_available(file.get(), head, sizeof head);
    rasterkit_bmpfileheader fh{};
    rasterkit_bmpinfoheader ih{};
    rasterkit::decode_bmp_headers(head, fh, ih);
    switch (rasterkit::judge_bmp_headers(fh, ih, length)) {
        case rasterkit::bmp_header_verdict::not_a_bitmap:
            std::printf("rasterkit_readimage_bmp: %s has file-signature %c%c. Not a bitmap (BM)...\n", path, head[0],
                        head[1]);
            return;
        case rasterkit::bmp_header_verdict::bad_colour_planes:
            std::printf("rasterkit_readimage_bmp: error! non-standard colorplane number %d\n", ih.colorplanes);
            return;
        case rasterkit::bmp_header_verdict::not_rgb:
            std::printf("rasterkit_readimage_bmp: %s is not an RGB bitmap. rasterkit currently only handles RGB "
                        "bitmaps...\n",
                        path);
            return;
        case rasterkit::bmp_header_verdict::readable:
            break;
    }
    std::fseek(file.get(), static_cast<long>(fh.pixeloffset), SEEK_SET);

    // On a failed resize the image keeps its old size; rows of the new size
    // must not be decoded into it.
    if (rasterkit_image_resize(image, rasterkit::bmp_dimension(ih.width), rasterkit::bmp_dimension(ih.height)) != 0) return;
    if (image->data == nullptr) return;
    decode_pixels(file.get(), ih, image);
}

RASTERKIT_API void rasterkit_writeimage_bmp(const char *path, const rasterkit_image *image) {
    rasterkit::file_handle file(std::fopen(path, "wb"));
    if (!file) {
        std::printf("rasterkit_writeimage_bmp: %s could not be opened!\n", path);
        return;
    }
    if (!rasterkit::size_is_positive(image->width, image->height)) return;

    // The stream's own errors are left to it, as they always were.
    const rasterkit::bmp_put to_stream = [](void *stream, const void *bytes, std::size_t count) {
        std::fwrite(bytes, 1, count, static_cast<std::FILE *>(stream));
        return true;
    };
    rasterkit::write_bmp(image, to_stream, file.get());
}

}  // extern "C"
