// Where a decoder's bytes come from: an open descriptor, read through a
// buffer of its own, or a span of memory. One source serves the probe and
// the decoder of a read, so a file is opened and its header parsed once.
#pragma once

#include <cstdint>
#include <vector>

namespace rkconv {

class byte_source {
public:
    static byte_source of_memory(const std::uint8_t *bytes, std::size_t length);
    // The descriptor stays the caller's.
    static byte_source of_descriptor(int fd);

    // Up to `count` bytes; fewer only at the end or on a read error.
    std::size_t read(void *into, std::size_t count);
    bool seek(std::uint64_t offset);
    // -1 when the length cannot be told.
    std::int64_t length() const;
    // errno of the first failed read, else 0.
    int read_error() const { return read_error_; }

    // The whole span, for a memory source; null for a descriptor.
    const std::uint8_t *memory() const { return fd_ < 0 ? bytes_ : nullptr; }
    std::size_t memory_length() const { return length_; }

private:
    bool refill();

    int fd_ = -1;
    const std::uint8_t *bytes_ = nullptr;  // the span, or the buffer's contents
    std::size_t length_ = 0;               // of the span, or of what the buffer holds
    std::size_t position_ = 0;             // within bytes_
    std::uint64_t buffer_offset_ = 0;      // file offset of the buffer's first byte
    std::vector<std::uint8_t> buffer_;
    int read_error_ = 0;
};

}  // namespace rkconv
