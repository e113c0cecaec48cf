// rasterkit convert: one file to another, or many files into a folder, each
// conversion done by the conversion library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "command.h"
#include "tool_common.h"

namespace rktool {

class convert_command : public command {
public:
    convert_command();

private:
    void declare_options(CLI::App &app) override;
    int execute() override;
    int settle_options();
    int check_write(const char *output);
    int settle_geometry();
    int run_single();
    int run_batch();

    CLI::Option *flip_x_ = nullptr;
    CLI::Option *flip_y_ = nullptr;
    CLI::Option *transpose_ = nullptr;
    bool quiet_ = false;
    bool keep_orientation_ = false;
    bool strip_ = false;
    bool to_srgb_ = false;
    bool accept_damaged_ = false;
    bool no_enlarge_ = false;
    bool linear_ = false;
    bool exact_ = false;
    std::string resize_text_;
    std::string fit_text_;
    std::string position_text_;
    std::string background_text_;
    std::string kernel_text_;
    std::string crop_text_;
    std::string rotate_text_;
    std::vector<std::string> files_;
    std::string output_directory_;
    std::string format_text_;
    std::string quality_text_;
    std::string chroma_text_;
    bool progressive_ = false;
    std::string max_pixels_text_;
    std::string compression_text_;
    unsigned threads_ = 0;
    std::int32_t format_ = RKCONV_FORMAT_BY_NAME;
    conversion_options options_;
};

}  // namespace rktool
