// What every command of the tool shares: exit statuses, format names, the
// conversion library's options and messages owned for one call, and the
// diversion of the library's own lines away from standard output.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "rasterkit_convert.h"

namespace rktool {

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

constexpr const char *standard_stream = "-";

const char *format_name(std::int32_t format);
// bmp, png, jpeg or jpg; -1 for any other name.
std::int32_t format_from_name(const std::string &name);

// The conversion library's settings, owned for the length of a command.
class conversion_options {
public:
    conversion_options() : options_(rkconv_options_new()) {}
    ~conversion_options() { rkconv_options_free(options_); }
    conversion_options(const conversion_options &) = delete;
    conversion_options &operator=(const conversion_options &) = delete;
    rkconv_options *get() const { return options_; }

private:
    rkconv_options *options_;
};

// What the conversion library read about a file besides its size.
class file_metadata {
public:
    file_metadata() : metadata_(rkconv_metadata_new()) {}
    ~file_metadata() { rkconv_metadata_free(metadata_); }
    file_metadata(const file_metadata &) = delete;
    file_metadata &operator=(const file_metadata &) = delete;
    rkconv_metadata *get() const { return metadata_; }

private:
    rkconv_metadata *metadata_;
};

// A message the conversion library handed over, freed when it goes.
class library_message {
public:
    library_message() = default;
    ~library_message() { rkconv_free(text_); }
    library_message(const library_message &) = delete;
    library_message &operator=(const library_message &) = delete;
    char **out() { return &text_; }
    std::string text() const { return text_ != nullptr ? text_ : ""; }

private:
    char *text_ = nullptr;
};

// Sends what rasterkit prints on standard output to standard error, and
// returns a stream on the real standard output (null on failure), so that
// JSON or image bytes there are not mixed with diagnostics.
std::FILE *divert_library_output();

}  // namespace rktool
