// Where a decoder's bytes come from: an open descriptor, read through a
// buffer of its own, or a span of memory. One source serves the probe and
// the decoder of a read, so a file is opened and its header parsed once.
#pragma once

#include <cstdint>
#include <memory>
#include <utility>

namespace rkconv {

class byte_source {
public:
    static byte_source of_memory(const std::uint8_t *bytes, std::size_t length);
    // The descriptor stays the caller's.
    static byte_source of_descriptor(int fd);

    // Up to `count` bytes; fewer only at the end or on a read error.
    std::size_t read(void *into, std::size_t count);
    // The bytes that come next, as many as are at hand (none at the end),
    // valid until the next call; they count as read.
    std::pair<const std::uint8_t *, std::size_t> next_bytes();
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
    std::unique_ptr<std::uint8_t[]> buffer_;  // uninitialised: every byte is read before it is used
    std::size_t capacity_ = 0;
    std::size_t reads_ = 0;
    int read_error_ = 0;
};

}  // namespace rkconv
