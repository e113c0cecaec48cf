#include "selftest_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "help_text.h"
#include "rasterkit.h"
#include "tool_common.h"

namespace rktool {

selftest_command::selftest_command() : command("selftest", selftest_help) {}

void selftest_command::declare_options(CLI::App &app) {
    app.add_option("-C", directory_);
    app.add_option("WHICH", which_);
}

int selftest_command::execute() {
    if (which_ != "all" && which_ != "init" && which_ != "loadsave" && which_ != "binreadwrite")
        return usage("unknown self-test '" + which_ + "'");
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
