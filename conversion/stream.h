// stdio streams owned for the length of one call.
#pragma once

#include <cstdio>
#include <memory>

namespace rkconv {

struct stream_closer {
    void operator()(std::FILE *file) const noexcept { std::fclose(file); }
};
using file_handle = std::unique_ptr<std::FILE, stream_closer>;

// Whole files stream through stdio far faster with a buffer larger than the
// default page-sized one.
constexpr std::size_t stream_buffer_bytes = std::size_t{1} << 20;

inline file_handle open_stream(const char *path, const char *mode) {
    file_handle file(std::fopen(path, mode));
    if (file) std::setvbuf(file.get(), nullptr, _IOFBF, stream_buffer_bytes);
    return file;
}

}  // namespace rkconv
