#include "convert_command.h"

#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "help_text.h"
#include "worker_pool.h"

namespace rktool {
namespace {

// A whole number as the command line gave it; its range is the library's to judge.
bool parse_number(const std::string &text, std::int32_t &number) {
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < INT32_MIN || value > INT32_MAX) return false;
    number = static_cast<std::int32_t>(value);
    return true;
}

bool parse_pixel_count(const std::string &text, std::uint64_t &count) {
    char *end = nullptr;
    errno = 0;
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (*end != '\0' || errno != 0) return false;
    count = value;
    return true;
}

// "WxH", "W" or "xH": a missing side is 0.
bool parse_box(const std::string &text, std::int32_t &width, std::int32_t &height) {
    const std::size_t cross = text.find('x');
    width = height = 0;
    const std::string across = text.substr(0, cross);
    const std::string down = cross == std::string::npos ? std::string() : text.substr(cross + 1);
    if (across.empty() && down.empty()) return false;
    return (across.empty() || parse_number(across, width)) && (down.empty() || parse_number(down, height));
}

// "X,Y,W,H".
bool parse_rectangle(const std::string &text, std::int32_t (&values)[4]) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t comma = text.find(',', start);
        if ((comma == std::string::npos) != (i == 3)) return false;
        if (!parse_number(text.substr(start, comma - start), values[i])) return false;
        start = comma + 1;
    }
    return true;
}

unsigned online_processors() {
    const long count = ::sysconf(_SC_NPROCESSORS_ONLN);
    return count > 0 ? static_cast<unsigned>(count) : 1u;
}

}  // namespace

convert_command::convert_command() : command("convert", convert_help), options_(rkconv_options_new()) {}

void convert_command::declare_options(CLI::App &app) {
    flip_x_ = app.add_flag("--flip-x");
    flip_y_ = app.add_flag("--flip-y");
    transpose_ = app.add_flag("--transpose");
    app.add_option("--format", format_text_);
    app.add_option("--quality", quality_text_);
    app.add_option("--max-pixels", max_pixels_text_);
    app.add_option("--compression", compression_text_);
    app.add_flag("--progressive", progressive_);
    app.add_option("--chroma", chroma_text_);
    app.add_option("-o", output_directory_);
    app.add_option("-j", threads_)->check(CLI::Range(1u, 4096u));
    app.add_flag("--quiet", quiet_);
    app.add_flag("--no-auto-orient", keep_orientation_);
    app.add_flag("--strip", strip_);
    app.add_flag("--to-srgb", to_srgb_);
    app.add_flag("--accept-damaged", accept_damaged_);
    app.add_option("--resize", resize_text_);
    app.add_option("--fit", fit_text_);
    app.add_option("--position", position_text_);
    app.add_option("--background", background_text_);
    app.add_option("--kernel", kernel_text_);
    app.add_option("--crop", crop_text_);
    app.add_option("--rotate", rotate_text_);
    app.add_flag("--no-enlarge", no_enlarge_);
    app.add_flag("--linear", linear_);
    app.add_flag("--exact", exact_);
    app.add_option("FILE", files_);
}

int convert_command::execute() {
    if (options_.get() == nullptr) {
        std::fprintf(stderr, "rasterkit: out of memory\n");
        return exit_failed;
    }
    if (const int unsettled = settle_options()) return unsettled;
    return app().count("-o") > 0 ? run_batch() : run_single();
}

// Turns the parsed text into the library's options; the transforms keep the
// order in which they were given. Ranges and what applies to which output
// are the library's to judge (check_write).
int convert_command::settle_options() {
    for (const CLI::Option *given : app().parse_order()) {
        if (given == flip_x_) rkconv_options_add_transform(options_.get(), RKCONV_TRANSFORM_FLIP_X);
        if (given == flip_y_) rkconv_options_add_transform(options_.get(), RKCONV_TRANSFORM_FLIP_Y);
        if (given == transpose_) rkconv_options_add_transform(options_.get(), RKCONV_TRANSFORM_TRANSPOSE);
    }
    if (app().count("--format") > 0) {
        format_ = rkconv_format_from_name(format_text_.c_str());
        if (format_ < 0) return usage("unknown format '" + format_text_ + "'");
    }
    std::int32_t number = -1;
    if (app().count("--quality") > 0) {
        if (!parse_number(quality_text_, number)) return usage("--quality needs a whole number, not '" + quality_text_ + "'");
        rkconv_options_set_quality(options_.get(), number);
    }
    if (app().count("--compression") > 0) {
        if (!parse_number(compression_text_, number))
            return usage("--compression needs a whole number, not '" + compression_text_ + "'");
        rkconv_options_set_compression(options_.get(), number);
    }
    if (progressive_) rkconv_options_set_progressive(options_.get(), 1);
    if (app().count("--chroma") > 0) {
        if (!parse_number(chroma_text_, number)) return usage("--chroma needs 444 or 420, not '" + chroma_text_ + "'");
        rkconv_options_set_chroma(options_.get(), number);
    }
    if (app().count("--max-pixels") > 0) {
        std::uint64_t limit = 0;
        if (!parse_pixel_count(max_pixels_text_, limit))
            return usage("--max-pixels needs a whole number of pixels (0: no limit but the library's), not '" +
                         max_pixels_text_ + "'");
        rkconv_options_set_max_pixels(options_.get(), limit);
    }
    if (strip_ && to_srgb_) return usage("--strip and --to-srgb exclude each other");
    if (const int unsettled = settle_geometry()) return unsettled;
    rkconv_options_set_auto_orient(options_.get(), keep_orientation_ ? 0 : 1);
    rkconv_options_set_accept_damaged(options_.get(), accept_damaged_ ? 1 : 0);
    rkconv_options_set_profile(options_.get(), strip_     ? RKCONV_PROFILE_STRIP
                                               : to_srgb_ ? RKCONV_PROFILE_TO_SRGB
                                                          : RKCONV_PROFILE_KEEP);
    return exit_ok;
}

// The geometry as the library names it; its names and ranges are the library's to judge.
int convert_command::settle_geometry() {
    rkconv_options *options = options_.get();
    if (app().count("--resize") > 0) {
        std::int32_t width = 0, height = 0;
        if (!parse_box(resize_text_, width, height))
            return usage("--resize needs WxH, W or xH in whole pixels, not '" + resize_text_ + "'");
        rkconv_options_set_resize(options, width, height);
    }
    if (app().count("--crop") > 0) {
        std::int32_t box[4] = {};
        if (!parse_rectangle(crop_text_, box)) return usage("--crop needs X,Y,W,H in whole pixels, not '" + crop_text_ + "'");
        rkconv_options_set_crop(options, box[0], box[1], box[2], box[3]);
    }
    if (app().count("--rotate") > 0) {
        std::int32_t degrees = 0;
        if (!parse_number(rotate_text_, degrees)) return usage("--rotate needs 90, 180 or 270, not '" + rotate_text_ + "'");
        rkconv_options_set_rotate(options, degrees);
    }
    if (app().count("--fit") > 0) rkconv_options_set_fit(options, fit_text_.c_str());
    if (app().count("--position") > 0) rkconv_options_set_position(options, position_text_.c_str());
    if (app().count("--background") > 0) rkconv_options_set_background(options, background_text_.c_str());
    if (app().count("--kernel") > 0) rkconv_options_set_kernel(options, kernel_text_.c_str());
    rkconv_options_set_enlarge(options, no_enlarge_ ? 0 : 1);
    rkconv_options_set_linear(options, linear_ ? 1 : 0);
    rkconv_options_set_exact(options, exact_ ? 1 : 0);
    return exit_ok;
}

// Asks the library whether the settings can write `output` (null: a
// stream or each file of a batch); a refusal is bad usage.
int convert_command::check_write(const char *output) {
    rkconv_write_facts facts{};
    library_message refusal;
    if (rkconv_describe_write(options_.get(), output, -1, &facts, refusal.out()) == 0) return exit_ok;
    return usage(refusal.text());
}

int convert_command::run_single() {
    if (files_.size() != 2) return usage("convert needs IN and OUT");
    const std::string &input = files_[0];
    const std::string &output = files_[1];
    const bool to_standard_output = output == standard_stream;
    rkconv_options_set_format(options_.get(), format_);
    if (const int refused = check_write(to_standard_output ? nullptr : output.c_str())) return refused;

    // The image goes to the real standard output only once it is whole.
    std::FILE *image_stream = to_standard_output ? divert_library_output() : nullptr;
    if (to_standard_output && image_stream == nullptr) {
        std::perror("rasterkit: standard output");
        return exit_failed;
    }
    library_message message;
    const bool from_standard_input = input == standard_stream;
    const bool failed = 0 != rkconv_convert(from_standard_input ? nullptr : input.c_str(), STDIN_FILENO,
                   to_standard_output ? nullptr : output.c_str(), image_stream != nullptr ? ::fileno(image_stream) : -1,
                   options_.get(), message.out());
    std::fflush(stdout);
    if (image_stream != nullptr) std::fclose(image_stream);
    print_library_lines(message.text(), failed);
    if (!failed) return exit_ok;
    return message.kind() == RKCONV_ERROR_BAD_ARGUMENT ? exit_usage : exit_failed;
}

int convert_command::run_batch() {
    if (files_.empty()) return usage("convert -o DIR needs at least one IN");
    if (output_directory_.empty()) return usage("-o needs a folder");
    for (const std::string &file : files_)
        if (file == standard_stream) return usage("'-' (standard input) cannot be used with -o");
    if (output_directory_ == standard_stream) return usage("'-' (standard output) cannot be used with -o");
    // Without --format each file keeps the format it has.
    const std::int32_t format = format_ == RKCONV_FORMAT_BY_NAME ? RKCONV_FORMAT_OF_INPUT : format_;
    rkconv_options_set_format(options_.get(), format);
    if (const int refused = check_write(nullptr)) return refused;
    std::vector<const char *> inputs;
    for (const std::string &file : files_) inputs.push_back(file.c_str());
    batch_plan plan;
    library_message refusal;
    if (rkconv_plan_batch(inputs.data(), inputs.size(), output_directory_.c_str(), format, plan.out(),
                          refusal.out()) != 0)
        return usage(refusal.text());
    library_message folder_fault;
    if (rkconv_make_directories(output_directory_.c_str(), folder_fault.out()) != 0) {
        print_library_lines(folder_fault.text(), true);
        return exit_failed;
    }

    const rkconv_options *options = options_.get();
    const auto job = [&plan, options](std::size_t index) {
        library_message message;
        const bool failed = 0 != rkconv_convert(rkconv_plan_input(plan.get(), index), -1,
                                                rkconv_plan_output(plan.get(), index), -1, options, message.out());
        return failed ? job_outcome{message.text(), {}} : job_outcome{{}, message.text()};
    };
    const bool show_progress = !quiet_ && ::isatty(STDERR_FILENO) == 1;
    const unsigned threads = threads_ > 0 ? threads_ : online_processors();
    const pool_outcome outcome = run_pool(rkconv_plan_size(plan.get()), threads, show_progress, job);
    std::fflush(stdout);
    std::fprintf(stderr, "rasterkit: %zu converted, %zu failed, %.2f s\n", outcome.succeeded, outcome.failed,
                 outcome.seconds);
    return outcome.failed > 0 ? exit_failed : exit_ok;
}

}  // namespace rktool
