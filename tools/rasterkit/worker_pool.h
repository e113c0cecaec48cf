// Runs numbered jobs on a fixed number of threads, reports failures as they
// happen and, on a terminal, keeps a progress line up to date.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace rktool {

struct pool_outcome {
    std::size_t succeeded = 0;
    std::size_t failed = 0;
    double seconds = 0;
};

// What a job has to say: the line that names its failure (empty on
// success), or a warning that comes with a success.
struct job_outcome {
    std::string failure;
    std::string warning;
};
using numbered_job = std::function<job_outcome(std::size_t index)>;

// Jobs are taken in index order; each failure or warning line goes to
// standard error whole, after standard output is flushed so the library's
// lines stay in place.
pool_outcome run_pool(std::size_t job_count, unsigned threads, bool show_progress, const numbered_job &job);

}  // namespace rktool
