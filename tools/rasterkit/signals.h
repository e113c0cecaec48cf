// How the tool meets signals while it writes files.
#pragma once

namespace rktool {

// Once per process, before any thread starts: a write past the file-size
// limit fails with EFBIG instead of ending the process, and SIGINT, SIGTERM
// and SIGHUP remove unfinished temporary files before the process dies of
// them as usual (a signal the parent ignored stays ignored).
void prepare_for_signals();

}  // namespace rktool
