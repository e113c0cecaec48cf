// Where an encoder's bytes go: an open file or a growing buffer. A file
// write that fails keeps the system's reason, so that the encoder's error
// can say it.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "large_block.h"

namespace rkconv {

// Bytes in one malloc'd block that grows as they come, so that a finished
// file can be handed to a caller (who frees it) without a copy.
class growing_block {
public:
    growing_block() = default;
    ~growing_block() { std::free(data_); }
    growing_block(const growing_block &) = delete;
    growing_block &operator=(const growing_block &) = delete;

    bool append(const void *bytes, std::size_t count) {
        if (count > capacity_ - size_) {
            std::size_t wanted = std::max<std::size_t>(capacity_ * 2, 4096);
            if (wanted - size_ < count) wanted = size_ + count;
            auto *grown = static_cast<std::uint8_t *>(std::realloc(data_, wanted));
            if (grown == nullptr) return false;
            data_ = grown;
            capacity_ = wanted;
        }
        if (count != 0) std::memcpy(data_ + size_, bytes, count);
        size_ += count;
        return true;
    }
    // Room for `count` bytes in huge pages (see allocate_huge_paged), for a
    // scratch buffer filled soon after.
    bool reserve_huge_paged(std::size_t count) {
        if (count <= capacity_) return true;
        std::uint8_t *room = allocate_huge_paged(count);
        if (room == nullptr) return false;
        if (size_ != 0) std::memcpy(room, data_, size_);
        std::free(data_);
        data_ = room;
        capacity_ = count;
        return true;
    }
    // Lets the owner rewrite what it holds in place.
    std::uint8_t *data() { return data_; }
    void clear() { size_ = 0; }
    const std::uint8_t *data() const { return data_; }
    std::size_t size() const { return size_; }
    // The block, now the caller's to free; this one is empty again.
    std::uint8_t *release() {
        std::uint8_t *taken = data_ != nullptr ? data_ : static_cast<std::uint8_t *>(std::malloc(1));
        data_ = nullptr;
        size_ = capacity_ = 0;
        return taken;
    }

private:
    std::uint8_t *data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

class byte_sink {
public:
    explicit byte_sink(std::FILE *file) : file_(file) {}
    explicit byte_sink(growing_block &buffer) : buffer_(&buffer) {}

    bool write(const void *bytes, std::size_t count) {
        if (buffer_ != nullptr) {
            if (buffer_->append(bytes, count)) return true;
            failure_ = ENOMEM;
            return false;
        }
        if (std::fwrite(bytes, 1, count, file_) == count) return true;
        failure_ = errno;
        return false;
    }
    bool flush() {
        if (file_ == nullptr || std::fflush(file_) == 0) return true;
        failure_ = errno;
        return false;
    }
    // errno of the first failed write, else 0.
    int failure_number() const { return failure_; }
    // The system's reason for the first failed write; empty when none failed.
    std::string failure() const { return failure_ != 0 ? std::strerror(failure_) : std::string(); }

private:
    std::FILE *file_ = nullptr;
    growing_block *buffer_ = nullptr;
    int failure_ = 0;
};

}  // namespace rkconv
