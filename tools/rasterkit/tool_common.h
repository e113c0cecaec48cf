// What every command of the tool shares: exit statuses, the
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

// Prints the conversion library's text on standard error, one
// "rasterkit: LINE" or "rasterkit: warning: LINE" per line.
void print_library_lines(const std::string &text, bool failed);

// Owns one object of the conversion library and frees it with the
// library's own function.
template <typename Object, void (*release)(Object *)>
class library_object {
public:
    explicit library_object(Object *object = nullptr) : object_(object) {}
    ~library_object() { release(object_); }
    library_object(const library_object &) = delete;
    library_object &operator=(const library_object &) = delete;
    Object *get() const { return object_; }
    Object **out() { return &object_; }

private:
    Object *object_;
};

using conversion_options = library_object<rkconv_options, rkconv_options_free>;
using file_metadata = library_object<rkconv_metadata, rkconv_metadata_free>;
using batch_plan = library_object<rkconv_plan, rkconv_plan_free>;

// A message the conversion library handed over, freed when it goes.
class library_message {
public:
    library_message() = default;
    ~library_message() { rkconv_free(text_); }
    library_message(const library_message &) = delete;
    library_message &operator=(const library_message &) = delete;
    char **out() { return &text_; }
    std::string text() const { return text_ != nullptr ? text_ : ""; }
    std::int32_t kind() const { return rkconv_message_kind(text_); }

private:
    char *text_ = nullptr;
};

// Sends what rasterkit prints on standard output to standard error, and
// returns a stream on the real standard output (null on failure), so that
// JSON or image bytes there are not mixed with diagnostics.
std::FILE *divert_library_output();

}  // namespace rktool
