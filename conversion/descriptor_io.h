// Whole transfers on descriptors, and a descriptor owned for one call.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "status.h"

namespace rkconv {

class owned_descriptor {
public:
    explicit owned_descriptor(int fd = -1) : fd_(fd) {}
    ~owned_descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    owned_descriptor(const owned_descriptor &) = delete;
    owned_descriptor &operator=(const owned_descriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// Writes every byte, retrying short writes and interruptions.
status write_all(int fd, const std::uint8_t *bytes, std::size_t length);
// Reads a descriptor to its end.
status read_all(int fd, std::vector<std::uint8_t> &into);

}  // namespace rkconv
