// libjpeg's fatal errors turned into text and a jump back to the caller,
// its other messages kept quiet: the library prints nothing and never ends
// the process.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "sink.h"

namespace rkconv {

struct jpeg_error_trap {
    jpeg_error_mgr manager;  // first, so that libjpeg's pointer is the trap's too
    std::jmp_buf resume;
    char text[JMSG_LENGTH_MAX];
    const byte_sink *sink;  // when set, a failed write's cause replaces libjpeg's text
};

// Points libjpeg at the trap; the caller's setjmp(trap.resume) receives the
// errors.
jpeg_error_mgr *install_error_trap(jpeg_error_trap &trap);

}  // namespace rkconv
