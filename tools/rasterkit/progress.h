// The one status line a batch keeps on a terminal, and the failure lines
// that must not be drawn over by it.
#pragma once

#include <chrono>
#include <cstddef>
#include <mutex>
#include <string>

namespace rktool {

class progress_display {
public:
    progress_display(std::size_t total, bool visible);
    // Counts one finished job; `failure` is its error line, empty for a
    // success, which may come with a `warning` line.
    void finished(const std::string &failure, const std::string &warning = {});
    // Redraws the line if it is visible and has not been drawn in the last
    // redraw interval.
    void tick();
    // Removes the line for good.
    void close();
    std::size_t succeeded() const;
    std::size_t failed() const;
    double elapsed_seconds() const;

private:
    void draw_locked();
    void erase_locked();

    mutable std::mutex mutex_;
    const std::size_t total_;
    const bool visible_;
    std::size_t succeeded_ = 0;
    std::size_t failed_ = 0;
    bool drawn_ = false;
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::chrono::steady_clock::time_point last_draw_{};
};

}  // namespace rktool
