// Writes that never destroy what was there: a writer fills a temporary file
// beside the target, the result is checked for completeness, and only then
// does it replace the target in one rename.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "status.h"

namespace rkconv {

// Writes one file at the given path.
using file_writer = std::function<status(const char *path)>;

// Writes `target` in `format` (1 BMP, 2 PNG, 3 JPEG) through `write`. A
// symbolic link is followed and the file it names replaced; an existing
// target that is not a regular file (a terminal, FIFO or device) is written
// straight through. On failure the target is as it was.
status safe_write(const std::string &target, std::int32_t format, const file_writer &write);

// Unlinks the temporary files of writes in progress; async-signal-safe.
void remove_unfinished_files();

}  // namespace rkconv
