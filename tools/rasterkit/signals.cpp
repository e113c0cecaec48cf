#include "signals.h"

#include <csignal>
#include <initializer_list>

#include "rasterkit_convert.h"

namespace rktool {
namespace {

extern "C" void remove_unfinished_and_reraise(int signal_number) {
    rkconv_remove_unfinished_files();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

}  // namespace

void prepare_for_signals() {
    std::signal(SIGXFSZ, SIG_IGN);
    for (int fatal : {SIGINT, SIGTERM, SIGHUP})
        if (std::signal(fatal, remove_unfinished_and_reraise) == SIG_IGN) std::signal(fatal, SIG_IGN);
}

}  // namespace rktool
