#include "memory_file.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace rkconv {
namespace {

constexpr std::size_t read_piece = std::size_t{1} << 16;

}  // namespace

memory_file::memory_file() {
    fd_ = ::memfd_create("rasterkit", MFD_CLOEXEC);
    if (fd_ < 0) {
        error_ = std::string("no memory file: ") + std::strerror(errno);
        return;
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
}

memory_file::~memory_file() {
    if (fd_ >= 0) ::close(fd_);
}

bool memory_file::fill(const std::uint8_t *bytes, std::size_t length) {
    return fd_ >= 0 && ::ftruncate(fd_, 0) == 0 && ::lseek(fd_, 0, SEEK_SET) == 0 &&
           write_all(fd_, bytes, length).empty();
}

bool memory_file::contents(std::vector<std::uint8_t> &into) const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0 || st.st_size < 0) return false;
    into.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < into.size()) {
        const ssize_t got = ::pread(fd_, into.data() + done, into.size() - done, static_cast<off_t>(done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

std::string write_all(int fd, const std::uint8_t *bytes, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t wrote = ::write(fd, bytes + done, length - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0) return std::strerror(errno);
        done += static_cast<std::size_t>(wrote);
    }
    return {};
}

std::string read_all(int fd, std::vector<std::uint8_t> &into) {
    into.clear();
    for (;;) {
        const std::size_t used = into.size();
        into.resize(used + read_piece);
        const ssize_t got = ::read(fd, into.data() + used, read_piece);
        if (got < 0 && errno == EINTR) {
            into.resize(used);
            continue;
        }
        if (got < 0) {
            into.resize(used);
            return std::strerror(errno);
        }
        into.resize(used + static_cast<std::size_t>(got));
        if (got == 0) return {};
    }
}

}  // namespace rkconv
