// Whether a written file starts and ends with the bytes a complete file of
// its format does.
#pragma once

#include <string>
#include <string_view>

#include "format_room.h"

namespace rkconv {

inline bool has_ends(const read_at &read, std::uint64_t size, std::string_view head, std::string_view tail) {
    if (size < head.size() + tail.size()) return false;
    std::string first(head.size(), '\0');
    std::string last(tail.size(), '\0');
    return read(first.data(), first.size(), 0) && read(last.data(), last.size(), size - last.size()) &&
           first == head && last == tail;
}

}  // namespace rkconv
