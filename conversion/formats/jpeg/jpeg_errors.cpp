#include "formats/jpeg/jpeg_errors.h"

#include <jerror.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace rkconv {
namespace {

// Warnings after which some pixels are not what the file meant.
constexpr int pixel_losing_warnings[] = {JWRN_JPEG_EOF, JWRN_HIT_MARKER, JWRN_HUFF_BAD_CODE, JWRN_MUST_RESYNC,
                                         JWRN_ARITH_BAD_CODE};
constexpr int warning_level = -1;

bool loses_pixels(int code) {
    return std::find(std::begin(pixel_losing_warnings), std::end(pixel_losing_warnings), code) !=
           std::end(pixel_losing_warnings);
}

[[noreturn]] void record_and_resume(j_common_ptr cinfo) {
    auto *trap = reinterpret_cast<jpeg_error_trap *>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, trap->text);
    trap->code = cinfo->err->msg_code;
    const std::string cause = trap->sink != nullptr ? trap->sink->failure() : std::string();
    if (!cause.empty()) std::snprintf(trap->text, sizeof trap->text, "%s", cause.c_str());
    std::longjmp(trap->resume, 1);  // NOLINT(cert-err52-cpp): the one way back from libjpeg
}

void keep_warning(j_common_ptr cinfo, int level) {
    if (level != warning_level) return;  // trace messages
    auto *trap = reinterpret_cast<jpeg_error_trap *>(cinfo->err);
    cinfo->err->num_warnings++;
    if (loses_pixels(cinfo->err->msg_code) && !trap->accept_damaged) record_and_resume(cinfo);
    if (trap->said == nullptr) return;
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    trap->said->add(concerning::input, text);
}

void stay_quiet(j_common_ptr) {}

}  // namespace

jpeg_error_mgr *install_error_trap(jpeg_error_trap &trap) {
    jpeg_std_error(&trap.manager);
    trap.manager.error_exit = record_and_resume;
    trap.manager.emit_message = keep_warning;
    trap.manager.output_message = stay_quiet;
    return &trap.manager;
}

}  // namespace rkconv
