// Writes that never destroy what was there: the library writes a temporary
// file beside the target, the result is checked for completeness, and only
// then does it replace the target in one rename.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace rktool {

// Once per process, before any thread starts: records the umask, makes a
// write past the file-size limit fail with EFBIG instead of ending the
// process, and removes unfinished temporary files on SIGINT, SIGTERM, SIGHUP.
void prepare_safe_writes();

// The library call that writes one file at the given path.
using file_writer = std::function<void(const char *path)>;

// Writes `target` in `format` (1 BMP, 2 PNG, 3 JPEG) through `write`. A
// symbolic link is followed and the file it names replaced; an existing
// target that is not a regular file (a terminal, FIFO or device) is written
// straight through. Returns an empty string on success, else why it failed;
// on failure the target is as it was.
std::string safe_write(const std::string &target, std::int32_t format, const file_writer &write);

}  // namespace rktool
