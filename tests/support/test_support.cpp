#include "support/test_support.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace testing_support {

OutputCapture::OutputCapture(int fd) : fd_(fd) {
    std::fflush(nullptr);
    char name[] = "/tmp/rasterkit-capture-XXXXXX";
    file_ = ::mkstemp(name);
    if (file_ < 0) throw std::runtime_error("mkstemp failed");
    ::unlink(name);
    saved_ = ::dup(fd_);
    ::dup2(file_, fd_);
}

std::string OutputCapture::finish() {
    if (saved_ < 0) return text_;
    std::fflush(nullptr);
    ::dup2(saved_, fd_);
    ::close(saved_);
    saved_ = -1;
    ::lseek(file_, 0, SEEK_SET);
    char chunk[4096];
    ssize_t got;
    while ((got = ::read(file_, chunk, sizeof chunk)) > 0) text_.append(chunk, static_cast<std::size_t>(got));
    ::close(file_);
    return text_;
}

OutputCapture::~OutputCapture() { finish(); }

TempDir::TempDir() {
    const char *base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/rasterkit-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

namespace {
void remove_tree(const std::string &path) {
    if (DIR *dir = ::opendir(path.c_str())) {
        while (dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            const std::string child = path + "/" + name;
            struct stat st {};
            if (::lstat(child.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
                remove_tree(child);
            else
                ::unlink(child.c_str());
        }
        ::closedir(dir);
    }
    ::rmdir(path.c_str());
}
}  // namespace

TempDir::~TempDir() { remove_tree(path_); }

WorkingDirectory::WorkingDirectory(const std::string &path) {
    char here[4096];
    if (::getcwd(here, sizeof here) == nullptr) throw std::runtime_error("getcwd failed");
    previous_ = here;
    if (::chdir(path.c_str()) != 0) throw std::runtime_error("chdir failed: " + path);
}

WorkingDirectory::~WorkingDirectory() {
    if (::chdir(previous_.c_str()) != 0) std::perror("chdir back");
}

bytes read_file(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const bytes &content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(content.data()), static_cast<std::streamsize>(content.size()));
}

bool file_exists(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

long file_size(const std::string &path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

Image::Image(std::int32_t width, std::int32_t height) {
    if (rasterkit_image_new(&image_, width, height) != 0) throw std::runtime_error("rasterkit_image_new failed");
}

Image::~Image() { rasterkit_image_delete(&image_); }

bytes Image::pixels() const {
    if (image_ == nullptr || image_->data == nullptr) return {};
    const std::size_t n = 4u * static_cast<std::size_t>(image_->width) * static_cast<std::size_t>(image_->height);
    return bytes(image_->data, image_->data + n);
}

std::uint32_t Image::packed(std::int32_t x, std::int32_t y) const {
    std::uint8_t rgba[4];
    rasterkit_get_pixel(image_, x, y, rgba);
    return pack(rgba[0], rgba[1], rgba[2], rgba[3]);
}

std::uint32_t pack(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a) {
    return std::uint32_t{r} | std::uint32_t{g} << 8 | std::uint32_t{b} << 16 | std::uint32_t{a} << 24;
}

std::uint32_t pattern_value(std::int32_t x, std::int32_t y, std::uint32_t seed) {
    std::uint32_t v = static_cast<std::uint32_t>(x) * 0x9E3779B1u ^ static_cast<std::uint32_t>(y) * 0x85EBCA77u ^ seed * 0xC2B2AE3Du;
    v ^= v >> 15;
    v *= 0x2C1B3C6Du;
    v ^= v >> 12;
    return v;
}

void fill_pattern(rasterkit_image *image, std::uint32_t seed) {
    for (std::int32_t y = 0; y < image->height; ++y)
        for (std::int32_t x = 0; x < image->width; ++x) rasterkit_set_pixel(image, x, y, pattern_value(x, y, seed));
}

std::string corpus_dir() {
    const std::string dir = RASTERKIT_CORPUS_DIR;
    return file_exists(dir + "/README.md") ? dir : std::string();
}

std::vector<std::string> files_below(const std::string &folder, const std::vector<std::string> &endings) {
    std::vector<std::string> found;
    if (DIR *dir = ::opendir(folder.c_str())) {
        while (dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            const std::string child = folder + "/" + name;
            struct stat st {};
            if (::stat(child.c_str(), &st) != 0) continue;
            if (S_ISDIR(st.st_mode)) {
                const auto nested = files_below(child, endings);
                found.insert(found.end(), nested.begin(), nested.end());
                continue;
            }
            for (const std::string &ending : endings) {
                if (name.size() >= ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
                    found.push_back(child);
                    break;
                }
            }
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace testing_support
