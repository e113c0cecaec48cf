// Where an encoder's bytes go: an open file or a growing buffer. A file
// write that fails keeps the system's reason, so that the encoder's error
// can say it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace rkconv {

class byte_sink {
public:
    explicit byte_sink(std::FILE *file) : file_(file) {}
    explicit byte_sink(std::vector<std::uint8_t> &buffer) : buffer_(&buffer) {}

    bool write(const void *bytes, std::size_t count) {
        if (buffer_ != nullptr) {
            const auto *first = static_cast<const std::uint8_t *>(bytes);
            buffer_->insert(buffer_->end(), first, first + count);
            return true;
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
    std::vector<std::uint8_t> *buffer_ = nullptr;
    int failure_ = 0;
};

}  // namespace rkconv
