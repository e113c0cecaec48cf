// An anonymous file in memory with a path the rasterkit library can open:
// how bytes reach its file readers, and how its file writers fill bytes,
// without a file on any disk.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rkconv {

class memory_file {
public:
    memory_file();
    ~memory_file();
    memory_file(const memory_file &) = delete;
    memory_file &operator=(const memory_file &) = delete;

    // Empty once created, else why the file could not be made.
    const std::string &error() const { return error_; }
    // A path that opens this file, for as long as the object lives.
    const std::string &path() const { return path_; }
    bool fill(const std::uint8_t *bytes, std::size_t length);
    // Everything the file holds now; false when it cannot be read.
    bool contents(std::vector<std::uint8_t> &into) const;

private:
    int fd_ = -1;
    std::string path_;
    std::string error_;
};

// Writes every byte, retrying short writes and interruptions; empty on
// success, else the system's reason.
std::string write_all(int fd, const std::uint8_t *bytes, std::size_t length);
// Reads a descriptor to its end.
std::string read_all(int fd, std::vector<std::uint8_t> &into);

}  // namespace rkconv
