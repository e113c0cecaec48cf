#include "jpeg_errors.h"

#include <string>

namespace rkconv {
namespace {

[[noreturn]] void record_and_resume(j_common_ptr cinfo) {
    auto *trap = reinterpret_cast<jpeg_error_trap *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, trap->text);
    const std::string cause = trap->sink != nullptr ? trap->sink->failure() : std::string();
    if (!cause.empty()) std::snprintf(trap->text, sizeof trap->text, "%s", cause.c_str());
    std::longjmp(trap->resume, 1);  // NOLINT(cert-err52-cpp): the one way back from libjpeg
}

void stay_quiet(j_common_ptr) {}

}  // namespace

jpeg_error_mgr *install_error_trap(jpeg_error_trap &trap) {
    jpeg_std_error(&trap.manager);
    trap.manager.error_exit = record_and_resume;
    trap.manager.output_message = stay_quiet;
    return &trap.manager;
}

}  // namespace rkconv
