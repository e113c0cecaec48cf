// libjpeg's errors turned into text and a jump back to the caller: the
// library prints nothing and never ends the process. A decoder's warnings
// become the file's warnings; those that mean pixels were lost (data ending
// early, corrupt entropy-coded data) stop the decode unless damaged data is
// accepted.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "sink.h"
#include "status.h"

namespace rkconv {

struct jpeg_error_trap {
    jpeg_error_mgr manager;  // first, so that libjpeg's pointer is the trap's too
    std::jmp_buf resume;
    char text[JMSG_LENGTH_MAX];
    const byte_sink *sink;  // when set, a failed write's cause replaces libjpeg's text
    warnings *said;         // when set, warnings are kept here
    bool accept_damaged;
    int code;                // libjpeg's message code of the error
};

// Points libjpeg at the trap; the caller's setjmp(trap.resume) receives the
// errors.
jpeg_error_mgr *install_error_trap(jpeg_error_trap &trap);

}  // namespace rkconv
