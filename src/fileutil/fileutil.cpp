// Signature detection, stream length and whole-file byte transfer.
#include "fileutil/fileutil.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <iterator>

#include "common/handles.h"
#include "rasterkit_rules/signature.h"
#include "rasterkit.h"

namespace {

constexpr std::int32_t read_piece = 4096;

using rasterkit::format_unknown;

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
    unsigned char signature[rasterkit::signature_bytes] = {};
    std::fseek(file.get(), 0, SEEK_SET);
    rasterkit::read_available(file.get(), signature, sizeof signature);
    std::fseek(file.get(), 0, SEEK_SET);
    return rasterkit::format_of_signature(signature);
}
