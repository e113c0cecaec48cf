#include "tool_common.h"

#include <unistd.h>

namespace rktool {
namespace {

struct named_format {
    const char *name;
    std::int32_t format;
};
constexpr named_format format_names[] = {
    {"bmp", RKCONV_FORMAT_BMP}, {"png", RKCONV_FORMAT_PNG}, {"jpeg", RKCONV_FORMAT_JPEG}, {"jpg", RKCONV_FORMAT_JPEG}};

}  // namespace

const char *format_name(std::int32_t format) {
    for (const named_format &f : format_names)
        if (f.format == format) return f.name;
    return "unknown";
}

std::int32_t format_from_name(const std::string &name) {
    for (const named_format &f : format_names)
        if (name == f.name) return f.format;
    return -1;
}

std::FILE *divert_library_output() {
    std::fflush(stdout);
    const int real_stdout = ::dup(STDOUT_FILENO);
    if (real_stdout < 0) return nullptr;
    std::FILE *stream = ::fdopen(real_stdout, "w");
    if (stream == nullptr) {
        ::close(real_stdout);
        return nullptr;
    }
    if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::fclose(stream);
        return nullptr;
    }
    return stream;
}

}  // namespace rktool
