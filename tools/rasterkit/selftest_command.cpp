#include "selftest_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "help_text.h"
#include "rasterkit.h"
#include "tool_common.h"

namespace rktool {

CLI::App *selftest_command::attach(CLI::App &root) {
    app_ = root.add_subcommand("selftest");
    use_help_text(*app_, help_);
    app_->add_option("-C", directory_);
    app_->add_option("WHICH", which_);
    app_->allow_extras();
    return app_;
}

int selftest_command::run() {
    if (help_) {
        std::fputs(selftest_help, stdout);
        return exit_ok;
    }
    if (const int refused = refuse_leftovers(*app_, selftest_help)) return refused;
    if (which_ != "all" && which_ != "init" && which_ != "loadsave" && which_ != "binreadwrite")
        return usage_error("unknown self-test '" + which_ + "'", selftest_help);
    if (!directory_.empty() && ::chdir(directory_.c_str()) != 0) {
        std::fprintf(stderr, "rasterkit: %s: %s\n", directory_.c_str(), std::strerror(errno));
        return exit_failed;
    }
    if (which_ == "all" || which_ == "init") rasterkit_test_init();
    if (which_ == "all" || which_ == "loadsave") rasterkit_test_loadsave();
    if (which_ == "all" || which_ == "binreadwrite") rasterkit_test_binreadwrite();
    std::fflush(stdout);
    return exit_ok;
}

}  // namespace rktool
