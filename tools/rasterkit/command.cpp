#include "command.h"

#include <algorithm>
#include <cstdio>

#include "tool_common.h"

namespace rktool {
namespace {

constexpr const char *end_of_options = "--";

// Usage status for what the parser left over (an unknown option, a stray
// argument); exit_ok when nothing was.
int refuse_leftovers(const CLI::App &app, const char *help) {
    std::vector<std::string> leftovers = app.remaining();
    // The parser keeps the "--" that ends the options among its leftovers.
    leftovers.erase(std::remove(leftovers.begin(), leftovers.end(), end_of_options), leftovers.end());
    if (leftovers.empty()) return exit_ok;
    const std::string &first = leftovers.front();
    if (first.size() > 1 && first[0] == '-') return usage_error("unknown option '" + first + "'", help);
    return usage_error("unexpected argument '" + first + "'", help);
}

}  // namespace

CLI::App *command::attach(CLI::App &root) {
    app_ = root.add_subcommand(name_);
    use_help_text(*app_, help_wanted_);
    app_->allow_extras();
    declare_options(*app_);
    return app_;
}

int command::run() {
    if (help_wanted_) {
        std::fputs(help_text_, stdout);
        return exit_ok;
    }
    if (const int refused = refuse_leftovers(*app_, help_text_)) return refused;
    return execute();
}

int command::usage(const std::string &message) const { return usage_error(message, help_text_); }

int usage_error(const std::string &message, const char *help) {
    std::fprintf(stderr, "rasterkit: %s\n\n%s", message.c_str(), help);
    return exit_usage;
}

void use_help_text(CLI::App &app, bool &wanted) {
    app.set_help_flag();
    app.add_flag("-h,--help", wanted);
}

}  // namespace rktool
