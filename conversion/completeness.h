// Whether a written file is whole, judged by its own structure: a BMP is as
// long as its header says, a PNG ends with its end chunk, a JPEG with its
// end-of-image marker. rasterkit's writers report nothing, so this is how a
// failed write is told from a good one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rkconv {

// Empty when whole, else what is wrong.
std::string file_incompleteness(int fd, std::int32_t format);
std::string bytes_incompleteness(const std::vector<std::uint8_t> &bytes, std::int32_t format);

}  // namespace rkconv
