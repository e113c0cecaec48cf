#include "safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace rktool {
namespace {

constexpr int max_symlink_hops = 40;
constexpr std::size_t max_stem_bytes = 180;  // leaves room for the suffix within NAME_MAX
constexpr char temporary_marker[] = ".rasterkit-XXXXXX";
constexpr std::uint32_t bmp_header_bytes = 54;
constexpr unsigned char png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr unsigned char png_end_chunk[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
constexpr unsigned char jpeg_start[2] = {0xFF, 0xD8};
constexpr unsigned char jpeg_end[2] = {0xFF, 0xD9};

mode_t creation_mask = 022;

// Temporary files still being written, for the signal handler to remove. A
// slot is armed only once its path is complete.
constexpr std::size_t pending_slots = 256;
constexpr std::size_t pending_path_bytes = 4096;
struct pending_file {
    std::atomic<bool> taken{false};
    std::atomic<bool> armed{false};
    char path[pending_path_bytes] = {};
};
std::array<pending_file, pending_slots> pending;

extern "C" void remove_pending_and_reraise(int signal_number) {
    for (pending_file &slot : pending)
        if (slot.armed.load()) ::unlink(slot.path);
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

// Registers a temporary file for removal on a fatal signal while in scope,
// and removes it on every early return.
class temporary_file {
public:
    explicit temporary_file(std::string path) : path_(std::move(path)) {
        if (path_.size() >= pending_path_bytes) return;
        for (pending_file &slot : pending) {
            bool expected = false;
            if (!slot.taken.compare_exchange_strong(expected, true)) continue;
            std::memcpy(slot.path, path_.c_str(), path_.size() + 1);
            slot.armed.store(true);
            slot_ = &slot;
            return;
        }
    }
    ~temporary_file() {
        if (!kept_) ::unlink(path_.c_str());
        if (slot_ == nullptr) return;
        slot_->armed.store(false);
        slot_->taken.store(false);
    }
    temporary_file(const temporary_file &) = delete;
    temporary_file &operator=(const temporary_file &) = delete;
    const std::string &path() const { return path_; }
    void keep() { kept_ = true; }

private:
    std::string path_;
    pending_file *slot_ = nullptr;
    bool kept_ = false;
};

class file_descriptor {
public:
    explicit file_descriptor(int fd) : fd_(fd) {}
    ~file_descriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    file_descriptor(const file_descriptor &) = delete;
    file_descriptor &operator=(const file_descriptor &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

std::string directory_of(const std::string &path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file a chain of symbolic links ends at; the path itself when it is no link.
std::string follow_links(std::string path) {
    for (int hop = 0; hop < max_symlink_hops; ++hop) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t length = ::readlink(path.c_str(), target.data(), target.size());
        if (length < 0 || static_cast<std::size_t>(length) >= target.size()) return path;
        const std::string link(target.data(), static_cast<std::size_t>(length));
        path = link[0] == '/' ? link : directory_of(path).append(link);
    }
    return path;
}

std::string canonical_path(const std::string &path) {
    char *resolved = ::realpath(path.c_str(), nullptr);
    if (resolved == nullptr) return follow_links(path);
    std::string result(resolved);
    std::free(resolved);
    return result;
}

bool read_exact_at(int fd, unsigned char *into, std::size_t count, off_t offset) {
    return ::pread(fd, into, count, offset) == static_cast<ssize_t>(count);
}

std::uint32_t little_endian_32(const unsigned char *bytes) {
    return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
           std::uint32_t{bytes[3]} << 24;
}

// The library's writers report nothing, so a file is judged by its own
// structure: a BMP is as long as its header says, a PNG ends with its end
// chunk, a JPEG with its end-of-image marker.
std::string incompleteness(const std::string &path, std::int32_t format) {
    const file_descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0) return "the written file vanished";
    const auto size = static_cast<std::uint64_t>(st.st_size);
    if (size == 0) return "nothing was written";
    unsigned char head[8] = {};
    unsigned char tail[12] = {};
    if (format == 1) {
        if (size < bmp_header_bytes || !read_exact_at(fd.get(), head, 6, 0) || head[0] != 'B' || head[1] != 'M' ||
            little_endian_32(head + 2) != size)
            return "the BMP file is incomplete";
        return {};
    }
    if (format == 3) {
        if (size < 4 || !read_exact_at(fd.get(), head, 2, 0) ||
            !read_exact_at(fd.get(), tail, 2, static_cast<off_t>(size - 2)) || std::memcmp(head, jpeg_start, 2) != 0 ||
            std::memcmp(tail, jpeg_end, 2) != 0)
            return "the JPEG file is incomplete";
        return {};
    }
    if (size < sizeof png_signature + sizeof png_end_chunk || !read_exact_at(fd.get(), head, 8, 0) ||
        !read_exact_at(fd.get(), tail, 12, static_cast<off_t>(size - 12)) ||
        std::memcmp(head, png_signature, 8) != 0 || std::memcmp(tail, png_end_chunk, 12) != 0)
        return "the PNG file is incomplete";
    return {};
}

// New files get the mode a plain creation would give; replaced files keep
// their mode and, where permitted, their owner.
void adopt_permissions(int fd, const struct stat *replaced) {
    if (replaced == nullptr) {
        (void)::fchmod(fd, static_cast<mode_t>(0666 & ~creation_mask));
        return;
    }
    if (::fchown(fd, replaced->st_uid, replaced->st_gid) != 0) {
        // Not permitted: the new file stays the caller's.
    }
    (void)::fchmod(fd, replaced->st_mode & 07777);
}

// The temporary file keeps the target's extension, so that a library writer
// that picks its format by the name sees the same one.
struct temporary_name {
    std::string pattern;
    int suffix_length;
};

temporary_name temporary_name_for(const std::string &directory, const std::string &base_name) {
    const std::size_t dot = base_name.rfind('.');
    if (dot == std::string::npos || dot == 0)
        return {directory + base_name.substr(0, max_stem_bytes) + "~rasterkit-XXXXXX", 0};
    const std::string extension = base_name.substr(dot);
    return {directory + "." + base_name.substr(0, dot).substr(0, max_stem_bytes) + temporary_marker + extension,
            static_cast<int>(extension.size())};
}

std::string write_through(const std::string &target, const file_writer &write) {
    write(target.c_str());
    return {};
}

}  // namespace

void prepare_safe_writes() {
    creation_mask = ::umask(0);
    ::umask(creation_mask);
    std::signal(SIGXFSZ, SIG_IGN);
    for (int fatal : {SIGINT, SIGTERM, SIGHUP})
        if (std::signal(fatal, remove_pending_and_reraise) == SIG_IGN) std::signal(fatal, SIG_IGN);
}

std::string safe_write(const std::string &target, std::int32_t format, const file_writer &write) {
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) return write_through(target, write);
    const std::string final_path = exists ? canonical_path(target) : follow_links(target);

    const std::string directory = directory_of(final_path);
    const temporary_name name = temporary_name_for(directory, final_path.substr(directory.size()));
    std::vector<char> buffer(name.pattern.begin(), name.pattern.end());
    buffer.push_back('\0');
    const file_descriptor fd(::mkstemps(buffer.data(), name.suffix_length));
    if (fd.get() < 0) return std::strerror(errno);
    temporary_file temporary(buffer.data());

    write(temporary.path().c_str());
    std::string fault = incompleteness(temporary.path(), format);
    if (!fault.empty()) return fault;
    adopt_permissions(fd.get(), exists ? &existing : nullptr);
    if (::fsync(fd.get()) != 0) return std::strerror(errno);
    if (::rename(temporary.path().c_str(), final_path.c_str()) != 0) return std::strerror(errno);
    temporary.keep();
    return {};
}

}  // namespace rktool
