#include "progress.h"

#include "tool_common.h"

#include <cstdio>

namespace rktool {
namespace {

constexpr auto redraw_interval = std::chrono::milliseconds(100);
constexpr const char *erase_line = "\r\033[K";

}  // namespace

progress_display::progress_display(std::size_t total, bool visible) : total_(total), visible_(visible) {}

void progress_display::finished(const std::string &failure, const std::string &warning) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (failure.empty()) ++succeeded_;
    else ++failed_;
    const std::string &line = failure.empty() ? warning : failure;
    if (line.empty()) return;
    erase_locked();
    std::fflush(stdout);
    print_library_lines(line, !failure.empty());
}

void progress_display::tick() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!visible_ || std::chrono::steady_clock::now() - last_draw_ < redraw_interval) return;
    draw_locked();
}

void progress_display::close() {
    const std::lock_guard<std::mutex> lock(mutex_);
    erase_locked();
}

std::size_t progress_display::succeeded() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return succeeded_;
}

std::size_t progress_display::failed() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

double progress_display::elapsed_seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
}

void progress_display::draw_locked() {
    const std::size_t done = succeeded_ + failed_;
    const double seconds = elapsed_seconds();
    const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
    char left[32] = "?";
    if (rate > 0) std::snprintf(left, sizeof left, "%.0f s", static_cast<double>(total_ - done) / rate);
    std::fprintf(stderr, "%s%zu/%zu done, %zu failed, %.1f files/s, %s left", erase_line, done, total_, failed_, rate,
                 left);
    std::fflush(stderr);
    drawn_ = true;
    last_draw_ = std::chrono::steady_clock::now();
}

void progress_display::erase_locked() {
    if (!drawn_) return;
    std::fputs(erase_line, stderr);
    std::fflush(stderr);
    drawn_ = false;
    // The next tick redraws at once, so the line comes back right after a failure line.
    last_draw_ = {};
}

}  // namespace rktool
