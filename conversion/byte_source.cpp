#include "byte_source.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace rkconv {
namespace {

// Reads grow fourfold from a page to this: a probe, which needs only the
// header, touches little memory, and a 12-megapixel decode takes a few dozen
// system calls.
constexpr std::size_t buffer_bytes = std::size_t{1} << 18;
constexpr std::size_t first_read_bytes = std::size_t{1} << 12;
constexpr int growth_shift = 2;

}  // namespace

byte_source byte_source::of_memory(const std::uint8_t *bytes, std::size_t length) {
    byte_source source;
    source.bytes_ = bytes;
    source.length_ = bytes != nullptr ? length : 0;
    return source;
}

byte_source byte_source::of_descriptor(int fd) {
    byte_source source;
    source.fd_ = fd;
    source.bytes_ = nullptr;
    return source;
}

bool byte_source::refill() {
    buffer_offset_ += length_;
    position_ = 0;
    length_ = 0;
    for (;;) {
        const std::size_t wanted = std::min(buffer_bytes, first_read_bytes << std::min<std::size_t>(growth_shift * reads_++, 8));
        if (capacity_ < wanted) {
            buffer_.reset(new std::uint8_t[wanted]);
            capacity_ = wanted;
            bytes_ = buffer_.get();
        }
        const ssize_t got = ::read(fd_, buffer_.get(), wanted);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            if (read_error_ == 0) read_error_ = errno;
            return false;
        }
        length_ = static_cast<std::size_t>(got);
        return got > 0;
    }
}

std::size_t byte_source::read(void *into, std::size_t count) {
    auto *out = static_cast<std::uint8_t *>(into);
    std::size_t done = 0;
    while (done < count) {
        if (position_ == length_ && (fd_ < 0 || !refill())) break;
        const std::size_t taken = std::min(count - done, length_ - position_);
        std::memcpy(out + done, bytes_ + position_, taken);
        position_ += taken;
        done += taken;
    }
    return done;
}

std::pair<const std::uint8_t *, std::size_t> byte_source::next_bytes() {
    if (position_ == length_ && (fd_ < 0 || !refill())) return {nullptr, 0};
    const std::pair<const std::uint8_t *, std::size_t> at_hand{bytes_ + position_, length_ - position_};
    position_ = length_;
    return at_hand;
}

bool byte_source::seek(std::uint64_t offset) {
    if (fd_ < 0) {
        position_ = static_cast<std::size_t>(std::min<std::uint64_t>(offset, length_));
        return offset <= length_;
    }
    if (offset >= buffer_offset_ && offset <= buffer_offset_ + length_) {
        position_ = static_cast<std::size_t>(offset - buffer_offset_);
        return true;
    }
    if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0) return false;
    buffer_offset_ = offset;
    position_ = 0;
    length_ = 0;
    return true;
}

std::int64_t byte_source::length() const {
    if (fd_ < 0) return static_cast<std::int64_t>(length_);
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<std::int64_t>(st.st_size);
}

}  // namespace rkconv
