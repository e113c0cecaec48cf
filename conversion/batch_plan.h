// Which file each input of a batch becomes, settled before anything is written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rkconv {

struct planned_file {
    std::string input;
    std::string output;
};

struct batch_plan {
    std::vector<planned_file> files;
    std::string usage_problem;  // non-empty: refuse the run, nothing written
};

// Each input, or each file directly inside an input folder (names starting
// with a dot left out), goes to DIR/<name without extension>.<ext>: the
// extension of `format` when one is chosen, else (format_by_name,
// format_of_input) the input's own.
batch_plan plan_batch(const std::vector<std::string> &inputs, const std::string &output_directory,
                      std::int32_t format);

// Creates the folder and any missing parents; empty on success, else why not.
std::string make_directories(const std::string &path);

}  // namespace rkconv
