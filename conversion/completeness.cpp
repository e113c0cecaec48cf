#include "completeness.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <string_view>

#include "rasterkit_rules/bmp_header.h"
#include "options.h"

namespace rkconv {
namespace {

constexpr std::size_t bmp_length_field_end = 6;

// The bytes a complete file of a format starts and ends with.
struct format_ends {
    std::string_view head;
    std::string_view tail;
};
using namespace std::string_view_literals;
constexpr format_ends png_ends{"\x89PNG\r\n\x1A\n"sv, "\0\0\0\0IEND\xAE\x42\x60\x82"sv};
constexpr format_ends jpeg_ends{"\xFF\xD8"sv, "\xFF\xD9"sv};

// Reads `count` bytes at `offset`; false when they are not all there.
using read_at = std::function<bool(char *into, std::size_t count, std::uint64_t offset)>;

bool has_ends(const read_at &read, std::uint64_t size, const format_ends &ends) {
    if (size < ends.head.size() + ends.tail.size()) return false;
    std::string head(ends.head.size(), '\0');
    std::string tail(ends.tail.size(), '\0');
    return read(head.data(), head.size(), 0) && read(tail.data(), tail.size(), size - tail.size()) &&
           head == ends.head && tail == ends.tail;
}

bool bmp_has_promised_length(const read_at &read, std::uint64_t size) {
    unsigned char head[bmp_length_field_end] = {};
    if (size < rasterkit::bmp_header_bytes || !read(reinterpret_cast<char *>(head), sizeof head, 0)) return false;
    const std::uint32_t promised = std::uint32_t{head[2]} | std::uint32_t{head[3]} << 8 |
                                   std::uint32_t{head[4]} << 16 | std::uint32_t{head[5]} << 24;
    return head[0] == 'B' && head[1] == 'M' && promised == size;
}

std::string incompleteness(const read_at &read, std::uint64_t size, std::int32_t format) {
    if (size == 0) return "nothing was written";
    if (format == format_bmp)
        return bmp_has_promised_length(read, size) ? std::string() : "the BMP file is incomplete";
    if (format == format_jpeg) return has_ends(read, size, jpeg_ends) ? std::string() : "the JPEG file is incomplete";
    return has_ends(read, size, png_ends) ? std::string() : "the PNG file is incomplete";
}

}  // namespace

std::string file_incompleteness(int fd, std::int32_t format) {
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0) return "the written file vanished";
    const read_at read = [fd](char *into, std::size_t count, std::uint64_t offset) {
        return ::pread(fd, into, count, static_cast<off_t>(offset)) == static_cast<ssize_t>(count);
    };
    return incompleteness(read, static_cast<std::uint64_t>(st.st_size), format);
}

std::string bytes_incompleteness(const std::vector<std::uint8_t> &bytes, std::int32_t format) {
    const read_at read = [&bytes](char *into, std::size_t count, std::uint64_t offset) {
        if (offset > bytes.size() || count > bytes.size() - offset) return false;
        std::memcpy(into, bytes.data() + offset, count);
        return true;
    };
    return incompleteness(read, bytes.size(), format);
}

}  // namespace rkconv
