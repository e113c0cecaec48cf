#include "convert_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "batch_plan.h"
#include "help_text.h"
#include "rasterkit.h"
#include "tool_common.h"
#include "worker_pool.h"

namespace rktool {
namespace {

bool parse_quality(const std::string &text, int &quality) {
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0 || value > 100) return false;
    quality = static_cast<int>(value);
    return true;
}

unsigned online_processors() {
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 1u;
}

}  // namespace

convert_command::convert_command() : command("convert", convert_help) {}

void convert_command::declare_options(CLI::App &app) {
    flip_x_ = app.add_flag("--flip-x");
    flip_y_ = app.add_flag("--flip-y");
    transpose_ = app.add_flag("--transpose");
    app.add_option("--format", format_text_);
    app.add_option("--quality", quality_text_);
    app.add_option("-o", output_directory_);
    app.add_option("-j", threads_)->check(CLI::Range(1u, 4096u));
    app.add_flag("--quiet", quiet_);
    app.add_option("FILE", files_);
}

int convert_command::execute() {
    if (const int unsettled = settle_options()) return unsettled;
    return app().count("-o") > 0 ? run_batch() : run_single();
}

// Turns the parsed text into settings; the transforms keep the order in
// which they were given.
int convert_command::settle_options() {
    for (const CLI::Option *given : app().parse_order()) {
        if (given == flip_x_) settings_.transforms.push_back(transform::flip_x);
        if (given == flip_y_) settings_.transforms.push_back(transform::flip_y);
        if (given == transpose_) settings_.transforms.push_back(transform::transpose);
    }
    if (app().count("--format") > 0) {
        settings_.format = format_from_name(format_text_);
        if (settings_.format < 0) return usage("unknown format '" + format_text_ + "'");
    }
    if (app().count("--quality") > 0 && !parse_quality(quality_text_, settings_.quality))
        return usage("quality must be a whole number from 0 to 100, not '" + quality_text_ + "'");
    return exit_ok;
}

int convert_command::run_single() {
    if (files_.size() != 2) return usage("convert needs IN and OUT");
    const std::string &input = files_[0];
    const std::string &output = files_[1];
    const bool writes_jpeg = settings_.format == format_jpeg ||
                             (settings_.format == format_by_name && format_from_extension(output) == format_jpeg);
    if (settings_.quality >= 0 && !writes_jpeg)
        return usage("--quality applies to JPEG output only");
    const std::string failure = convert_file(input, output, settings_);
    std::fflush(stdout);
    if (failure.empty()) return exit_ok;
    std::fprintf(stderr, "rasterkit: %s\n", failure.c_str());
    return exit_failed;
}

int convert_command::run_batch() {
    if (files_.empty()) return usage("convert -o DIR needs at least one IN");
    if (output_directory_.empty()) return usage("-o needs a folder");
    if (settings_.quality >= 0 && settings_.format != format_by_name && settings_.format != format_jpeg)
        return usage("--quality applies to JPEG output only");
    const batch_plan plan = plan_batch(files_, output_directory_, settings_.format);
    if (!plan.usage_problem.empty()) return usage(plan.usage_problem);
    if (const std::string fault = make_directories(output_directory_); !fault.empty()) {
        std::fprintf(stderr, "rasterkit: %s: %s\n", output_directory_.c_str(), fault.c_str());
        return exit_failed;
    }

    const auto job = [&](std::size_t index) {
        const planned_file &file = plan.files[index];
        conversion_settings settings = settings_;
        if (settings.format == format_by_name) {
            settings.input_format = rasterkit_magic_type(file.input.c_str());
            if (settings.input_format < 0) return file.input + ": not a readable BMP, PNG or JPEG file";
            settings.format = settings.input_format;
            if (settings.format != format_jpeg) settings.quality = -1;
        }
        return convert_file(file.input, file.output, settings);
    };
    const bool show_progress = !quiet_ && ::isatty(STDERR_FILENO) == 1;
    const unsigned threads = threads_ > 0 ? threads_ : online_processors();
    const pool_outcome outcome = run_pool(plan.files.size(), threads, show_progress, job);
    std::fflush(stdout);
    std::fprintf(stderr, "rasterkit: %zu converted, %zu failed, %.2f s\n", outcome.succeeded, outcome.failed,
                 outcome.seconds);
    return outcome.failed > 0 ? exit_failed : exit_ok;
}

}  // namespace rktool
