#include "descriptor_io.h"

#include <cerrno>

namespace rkconv {
namespace {

constexpr std::size_t read_piece = std::size_t{1} << 16;

}  // namespace

status write_all(int fd, const std::uint8_t *bytes, std::size_t length) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t wrote = ::write(fd, bytes + done, length - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote < 0) return system_failure(errno, "").on(concerning::output);
        done += static_cast<std::size_t>(wrote);
    }
    return success();
}

status read_all(int fd, std::vector<std::uint8_t> &into) {
    into.clear();
    for (;;) {
        const std::size_t used = into.size();
        into.resize(used + read_piece);
        const ssize_t got = ::read(fd, into.data() + used, read_piece);
        into.resize(used + static_cast<std::size_t>(got > 0 ? got : 0));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return system_failure(errno, "cannot be read");
        if (got == 0) return success();
    }
}

}  // namespace rkconv
