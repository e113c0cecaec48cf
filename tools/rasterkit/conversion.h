// One file read, transformed and written: the job shared by the single-file
// and batch forms of convert.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rktool {

enum class transform { flip_x, flip_y, transpose };

struct conversion_settings {
    std::vector<transform> transforms;  // in the order given
    std::int32_t format = 0;            // format_by_name: by the output's extension
    int quality = -1;                   // -1: the library's choice; else JPEG through the JPEG writer
    std::int32_t input_format = 0;      // format_by_name: not yet detected, the library detects it
};

// Empty on success; else the error line to show, naming the file at fault.
std::string convert_file(const std::string &input, const std::string &output, const conversion_settings &settings);

}  // namespace rktool
