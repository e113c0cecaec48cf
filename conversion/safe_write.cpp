#include "safe_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "descriptor_io.h"
#include "format_room.h"
#include "options.h"

namespace rkconv {
namespace {

constexpr int max_symlink_hops = 40;
constexpr std::size_t max_stem_bytes = 180;  // leaves room for the suffix within NAME_MAX
constexpr char temporary_marker[] = ".rasterkit-XXXXXX";
constexpr mode_t usual_creation_mask = 022;

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

// Creates a temporary file from a mkstemps pattern and removes it on every
// early return. Its name is registered for the signal handler before the
// file exists, and is created in the registered buffer itself, so that no
// moment leaves a created file unknown to the handler.
class temporary_file {
public:
    temporary_file(const std::string &pattern, int suffix_length) {
        if (pattern.size() < pending_path_bytes) slot_ = take_slot();
        std::vector<char> unregistered;
        char *name = slot_ != nullptr ? slot_->path : nullptr;
        if (name == nullptr) {
            unregistered.assign(pattern.begin(), pattern.end());
            unregistered.push_back('\0');
            name = unregistered.data();
        } else {
            std::memcpy(name, pattern.c_str(), pattern.size() + 1);
            slot_->armed.store(true);
        }
        fd_ = ::mkstemps(name, suffix_length);
        if (fd_ >= 0)
            path_ = name;
        else
            error_ = errno;
    }
    ~temporary_file() {
        if (fd_ >= 0) ::close(fd_);
        if (fd_ >= 0 && !kept_) ::unlink(path_.c_str());
        if (slot_ == nullptr) return;
        slot_->armed.store(false);
        slot_->taken.store(false);
    }
    temporary_file(const temporary_file &) = delete;
    temporary_file &operator=(const temporary_file &) = delete;
    bool created() const { return fd_ >= 0; }
    int creation_error() const { return error_; }
    int descriptor() const { return fd_; }
    const std::string &path() const { return path_; }
    void keep() { kept_ = true; }

private:
    static pending_file *take_slot() {
        for (pending_file &slot : pending) {
            bool expected = false;
            if (slot.taken.compare_exchange_strong(expected, true)) return &slot;
        }
        return nullptr;
    }

    pending_file *slot_ = nullptr;
    int fd_ = -1;
    int error_ = 0;
    std::string path_;
    bool kept_ = false;
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

// The process's umask, read without changing it (umask() itself cannot be
// read without a write, which would race with other threads).
mode_t creation_mask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, 6, "Umask:") != 0) continue;
        try {
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8) & 0777);
        } catch (const std::exception &) {
            break;
        }
    }
    return usual_creation_mask;
}

// Judged from the file as the writer left it at its path, which the writer
// may have replaced rather than written through the descriptor.
status written_file_fault(const std::string &path, std::int32_t format) {
    const owned_descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        return failure(failure_kind::input_output, "the written file vanished");
    if (st.st_size == 0) return failure(failure_kind::input_output, "nothing was written");
    const read_at read = [&fd](char *into, std::size_t count, std::uint64_t offset) {
        return ::pread(fd.get(), into, count, static_cast<off_t>(offset)) == static_cast<ssize_t>(count);
    };
    const format_room *room = room_of(format);
    if (room == nullptr || room->is_complete(read, static_cast<std::uint64_t>(st.st_size))) return success();
    const char *name = format == format_jpeg ? "JPEG" : format == format_png ? "PNG" : "BMP";
    return failure(failure_kind::input_output, std::string("the ") + name + " file is incomplete");
}

// New files get the mode a plain creation would give; replaced files keep
// their mode and, where permitted, their owner.
void adopt_permissions(int fd, const struct stat *replaced) {
    if (replaced == nullptr) {
        (void)::fchmod(fd, static_cast<mode_t>(0666 & ~creation_mask()));
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

}  // namespace

void remove_unfinished_files() {
    for (pending_file &slot : pending)
        if (slot.armed.load()) ::unlink(slot.path);
}

status safe_write(const std::string &target, std::int32_t format, const file_writer &write) {
    struct stat existing {};
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) return write(target.c_str());
    const std::string final_path = exists ? canonical_path(target) : follow_links(target);

    const std::string directory = directory_of(final_path);
    const temporary_name name = temporary_name_for(directory, final_path.substr(directory.size()));
    temporary_file temporary(name.pattern, name.suffix_length);
    if (!temporary.created()) return system_failure(temporary.creation_error(), "");

    if (status fault = write(temporary.path().c_str()); !fault.ok()) return fault;
    if (status fault = written_file_fault(temporary.path(), format); !fault.ok()) return fault;
    adopt_permissions(temporary.descriptor(), exists ? &existing : nullptr);
    if (::fsync(temporary.descriptor()) != 0) return system_failure(errno, "");
    if (::rename(temporary.path().c_str(), final_path.c_str()) != 0) return system_failure(errno, "");
    temporary.keep();
    return success();
}

}  // namespace rkconv
