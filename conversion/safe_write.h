// Writes that never destroy what was there: a writer fills a temporary file
// beside the target, the result is checked for completeness, and only then
// does it replace the target in one rename.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace rkconv {

// Writes one file at the given path; empty on success, else why not.
using file_writer = std::function<std::string(const char *path)>;

// Writes `target` in `format` (1 BMP, 2 PNG, 3 JPEG) through `write`. A
// symbolic link is followed and the file it names replaced; an existing
// target that is not a regular file (a terminal, FIFO or device) is written
// straight through. Returns an empty string on success, else why it failed;
// on failure the target is as it was.
std::string safe_write(const std::string &target, std::int32_t format, const file_writer &write);

// Unlinks the temporary files of writes in progress; async-signal-safe.
void remove_unfinished_files();

}  // namespace rkconv
