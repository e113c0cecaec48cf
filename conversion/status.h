// One status for every step inside the library: what kind of failure, what
// went wrong (without the file's name, which the C interface adds once), the
// system's error number where there is one, and which side of a conversion
// it concerns. Warnings travel beside it as a list.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "rasterkit_convert.h"

namespace rkconv {

enum class failure_kind : std::int32_t {
    none = RKCONV_ERROR_NONE,
    pixel_limit = RKCONV_ERROR_PIXEL_LIMIT,
    not_an_image = RKCONV_ERROR_NOT_AN_IMAGE,
    damaged = RKCONV_ERROR_DAMAGED,
    input_output = RKCONV_ERROR_IO,
    out_of_memory = RKCONV_ERROR_OUT_OF_MEMORY,
    bad_argument = RKCONV_ERROR_BAD_ARGUMENT,
};

// Which file a failure or warning is about; the C interface names it.
enum class concerning { input, output, neither };

struct status {
    failure_kind kind = failure_kind::none;
    std::string text;
    int system_error = 0;
    concerning about = concerning::input;

    bool ok() const { return kind == failure_kind::none; }
    status &on(concerning side) {
        about = side;
        return *this;
    }
};

inline status success() { return {}; }

inline status failure(failure_kind kind, std::string text) {
    status s;
    s.kind = kind;
    s.text = std::move(text);
    return s;
}

// An input/output failure with the system's reason: "what (No such file or directory)".
inline status system_failure(int error_number, const std::string &what) {
    status s = failure(failure_kind::input_output, what.empty() ? std::strerror(error_number)
                                                                : what + " (" + std::strerror(error_number) + ")");
    s.system_error = error_number;
    return s;
}

inline status out_of_memory() { return failure(failure_kind::out_of_memory, "out of memory"); }

struct warning {
    concerning about;
    std::string text;
};

// What a call has to say besides its outcome, in the order it was said;
// a text said twice about the same file is kept once.
class warnings {
public:
    void add(concerning about, const std::string &text) {
        if (text.empty()) return;
        for (const warning &w : list_)
            if (w.about == about && w.text == text) return;
        list_.push_back({about, text});
    }
    const std::vector<warning> &list() const { return list_; }
    bool empty() const { return list_.empty(); }

private:
    std::vector<warning> list_;
};

}  // namespace rkconv
