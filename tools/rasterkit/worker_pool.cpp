#include "worker_pool.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <string>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "progress.h"

namespace rktool {
namespace {

constexpr auto tick_interval = std::chrono::milliseconds(100);

// Redraws the progress line until told to stop.
class ticker {
public:
    explicit ticker(progress_display &display) : display_(display), thread_([this] { run(); }) {}
    ~ticker() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_one();
        thread_.join();
    }
    ticker(const ticker &) = delete;
    ticker &operator=(const ticker &) = delete;

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!stopping_) {
            display_.tick();
            wake_.wait_for(lock, tick_interval, [this] { return stopping_; });
        }
    }

    progress_display &display_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread thread_;
};

// An exception must not leave a worker thread, where it would end the process.
job_outcome run_guarded(const numbered_job &job, std::size_t index) {
    try {
        return job(index);
    } catch (const std::exception &error) {
        return {std::string("job ") + std::to_string(index + 1) + ": " + error.what(), {}};
    }
}

}  // namespace

pool_outcome run_pool(std::size_t job_count, unsigned threads, bool show_progress, const numbered_job &job) {
    progress_display display(job_count, show_progress);
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t index = next++; index < job_count; index = next++) {
            const job_outcome outcome = run_guarded(job, index);
            display.finished(outcome.failure, outcome.warning);
        }
    };
    {
        std::vector<std::thread> workers;
        const std::unique_ptr<ticker> redraw = show_progress ? std::make_unique<ticker>(display) : nullptr;
        const unsigned count = std::max(1u, std::min<unsigned>(threads, static_cast<unsigned>(job_count)));
        for (unsigned i = 1; i < count; ++i) workers.emplace_back(work);
        work();
        for (std::thread &worker : workers) worker.join();
    }
    display.close();
    return {display.succeeded(), display.failed(), display.elapsed_seconds()};
}

}  // namespace rktool
