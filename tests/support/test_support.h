// Shared fixtures for the tests: output capture at the descriptor level,
// temporary folders, file helpers, image builders and the corpus location.
#ifndef RASTERKIT_TEST_SUPPORT_H
#define RASTERKIT_TEST_SUPPORT_H

#include <cstdint>
#include <string>
#include <vector>

#include "rasterkit.h"

namespace testing_support {

using bytes = std::vector<std::uint8_t>;

// Captures what is written to a file descriptor (1 or 2) until finish().
class OutputCapture {
public:
    explicit OutputCapture(int fd);
    ~OutputCapture();
    OutputCapture(const OutputCapture &) = delete;
    OutputCapture &operator=(const OutputCapture &) = delete;
    std::string finish();

private:
    int fd_;
    int saved_ = -1;
    int file_ = -1;
    std::string text_;
};

// A fresh folder under the system's temporary directory, removed at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;
    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Runs with the working directory changed, restoring it afterwards.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::string &path);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory &) = delete;
    WorkingDirectory &operator=(const WorkingDirectory &) = delete;

private:
    std::string previous_;
};

bytes read_file(const std::string &path);
void write_file(const std::string &path, const bytes &content);
bool file_exists(const std::string &path);
long file_size(const std::string &path);

// Owns a record made with rasterkit_image_new.
class Image {
public:
    Image(std::int32_t width = 0, std::int32_t height = 0);
    ~Image();
    Image(const Image &) = delete;
    Image &operator=(const Image &) = delete;
    rasterkit_image *get() const { return image_; }
    rasterkit_image *operator->() const { return image_; }
    rasterkit_image **address() { return &image_; }
    std::int32_t width() const { return image_->width; }
    std::int32_t height() const { return image_->height; }
    bytes pixels() const;  // the buffer's bytes, empty for an empty record
    std::uint32_t packed(std::int32_t x, std::int32_t y) const;

private:
    rasterkit_image *image_ = nullptr;
};

// Fills every pixel with a value that differs from pixel to pixel and from
// seed to seed, alpha included.
void fill_pattern(rasterkit_image *image, std::uint32_t seed);
std::uint32_t pattern_value(std::int32_t x, std::int32_t y, std::uint32_t seed);

std::uint32_t pack(std::uint8_t r, std::uint8_t g, std::uint8_t b, std::uint8_t a);

// Root of the shared test corpus; empty when it is not there.
std::string corpus_dir();
// Every regular file below `folder` with one of the given endings, sorted.
std::vector<std::string> files_below(const std::string &folder, const std::vector<std::string> &endings);

}  // namespace testing_support

#endif
