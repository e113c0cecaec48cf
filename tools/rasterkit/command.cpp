#include "command.h"

#include <cstdio>

#include "tool_common.h"

namespace rktool {

int usage_error(const std::string &message, const char *help) {
    std::fprintf(stderr, "rasterkit: %s\n\n%s", message.c_str(), help);
    return exit_usage;
}

void use_help_text(CLI::App &app, bool &wanted) {
    app.set_help_flag();
    app.add_flag("-h,--help", wanted);
}

int refuse_leftovers(const CLI::App &app, const char *help) {
    const std::vector<std::string> leftovers = app.remaining();
    if (leftovers.empty()) return exit_ok;
    const std::string &first = leftovers.front();
    if (first.size() > 1 && first[0] == '-') return usage_error("unknown option '" + first + "'", help);
    return usage_error("unexpected argument '" + first + "'", help);
}

}  // namespace rktool
