#include "tool_common.h"

#include <unistd.h>

namespace rktool {

void print_library_lines(const std::string &text, bool failed) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::fprintf(stderr, "rasterkit: %s%s\n", failed ? "" : "warning: ", text.substr(start, end - start).c_str());
        start = end + 1;
    }
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
