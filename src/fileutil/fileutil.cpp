// Signature detection, stream length and whole-file byte transfer.
#include "fileutil/fileutil.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>

#include "common/handles.h"
#include "rasterkit.h"

namespace {

constexpr std::size_t signature_bytes = 8;
constexpr std::int32_t read_piece = 4096;

constexpr unsigned char bmp_signature[] = {0x42, 0x4D};
constexpr unsigned char png_signature[] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
constexpr unsigned char jpeg_start[] = {0xFF, 0xD8, 0xFF};
constexpr unsigned char jpeg_first_markers[] = {0xE0, 0xE1, 0xDB};

using rasterkit::format_bmp;
using rasterkit::format_jpeg;
using rasterkit::format_png;
using rasterkit::format_unknown;

std::int32_t classify(const unsigned char (&b)[signature_bytes]) {
    if (b[0] == bmp_signature[0]) return b[1] == bmp_signature[1] ? format_bmp : format_unknown;
    if (b[0] == png_signature[0])
        return std::memcmp(b, png_signature, sizeof png_signature) == 0 ? format_png : format_unknown;
    const bool jpeg = std::memcmp(b, jpeg_start, sizeof jpeg_start) == 0 &&
                      std::find(std::begin(jpeg_first_markers), std::end(jpeg_first_markers), b[3]) !=
                          std::end(jpeg_first_markers);
    return jpeg ? format_jpeg : format_unknown;
}

}  // namespace

std::int32_t rasterkit_filelength(std::FILE *file) {
    std::fseek(file, 0, SEEK_END);
    const long position = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    if (position < 0) return -1;
    // Files of 2^31 bytes or more are outside the interface; report the most
    // a 32-bit count can say rather than wrap.
    return static_cast<std::int32_t>(std::min<long>(position, INT32_MAX));
}

std::int32_t rasterkit_readbinfile(const char *path, std::uint8_t *buffer, std::int32_t capacity, std::int32_t *count) {
    if (path == nullptr) return -1;
    rasterkit::file_handle file(std::fopen(path, "rb"));
    if (!file) {
        std::printf("rasterkit_readbinfile:: could not open %s for reading.\n", path);
        return -1;
    }
    if (buffer == nullptr || capacity <= 0) return -1;

    const std::int32_t length = rasterkit_filelength(file.get());
    const std::int32_t wanted = std::min(capacity, length);
    std::int32_t taken = 0;
    while (taken < wanted) {
        const std::int32_t piece = std::min(wanted - taken, read_piece);
        const std::size_t got = std::fread(buffer + taken, 1, static_cast<std::size_t>(piece), file.get());
        // Count what arrived: a file that shrinks while it is read must not
        // report bytes that were never written into the buffer.
        taken += static_cast<std::int32_t>(got);
        if (got < static_cast<std::size_t>(piece)) break;
    }
    if (count != nullptr) *count = taken;
    return 0;
}

std::int32_t rasterkit_writebinfile(const char *path, const std::uint8_t *data, std::int32_t length) {
    if (path == nullptr) return -1;
    if (length < 0 || (data == nullptr && length > 0)) return -1;
    rasterkit::file_handle file(std::fopen(path, "w+b"));
    if (!file) {
        std::printf("rasterkit_writebinfile:: could not open %s for writing.\n", path);
        return -1;
    }
    if (length > 0) std::fwrite(data, 1, static_cast<std::size_t>(length), file.get());
    return 0;
}

extern "C" RASTERKIT_API int32_t rasterkit_magic_type(const char *path) {
    rasterkit::file_handle file(std::fopen(path, "rb"));
    if (!file) {
        std::printf("rasterkitmagic_type: %s could not be opened!\n", path);
        return format_unknown;
    }
    // Bytes a short file lacks count as zero.
    unsigned char signature[signature_bytes] = {};
    std::fseek(file.get(), 0, SEEK_SET);
    rasterkit::read_available(file.get(), signature, signature_bytes);
    std::fseek(file.get(), 0, SEEK_SET);
    return classify(signature);
}
