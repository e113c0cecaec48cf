// Owning handles for the C resources the library holds within one call:
// stdio streams and malloc'd buffers. The heap is malloc/free throughout,
// so nothing here allocates with new.
#ifndef RASTERKIT_HANDLES_H
#define RASTERKIT_HANDLES_H

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace rasterkit {

struct file_closer {
    void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};
using file_handle = std::unique_ptr<std::FILE, file_closer>;

// Whole files stream through stdio far faster with a buffer larger than the
// default page-sized one: a 12-megapixel file then takes a few dozen system
// calls instead of thousands.
constexpr std::size_t stream_buffer_bytes = std::size_t{1} << 20;

inline file_handle open_stream(const char *path, const char *mode) {
    file_handle file(std::fopen(path, mode));
    if (file) std::setvbuf(file.get(), nullptr, _IOFBF, stream_buffer_bytes);
    return file;
}

struct heap_freer {
    void operator()(void *block) const noexcept { std::free(block); }
};
using byte_buffer = std::unique_ptr<std::uint8_t[], heap_freer>;

inline byte_buffer allocate_bytes(std::size_t count) {
    return byte_buffer(static_cast<std::uint8_t *>(std::malloc(count == 0 ? 1 : count)));
}

inline byte_buffer allocate_zeroed_bytes(std::size_t count) {
    return byte_buffer(static_cast<std::uint8_t *>(std::calloc(count == 0 ? 1 : count, 1)));
}

}  // namespace rasterkit

#endif
