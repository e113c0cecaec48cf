#include "info_command.h"

#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "help_text.h"
#include "tool_common.h"

namespace rktool {
namespace {

struct file_facts {
    rkconv_header header{-1, 0, 0};
    std::int32_t orientation = 1;
    std::size_t icc_length = 0;  // 0: no profile
    std::string icc_description;
    std::string error;  // empty when the header was read
};

void take_metadata(const rkconv_metadata *metadata, file_facts &facts) {
    facts.orientation = rkconv_metadata_orientation(metadata);
    rkconv_metadata_icc_profile(metadata, &facts.icc_length);
    facts.icc_description = rkconv_metadata_icc_description(metadata);
}

// From the header alone; nothing is decoded.
file_facts examine(const std::string &path) {
    file_facts facts;
    library_message message;
    const file_metadata metadata(rkconv_metadata_new());
    if (path == standard_stream)
        rkconv_probe_descriptor(STDIN_FILENO, &facts.header, metadata.get(), message.out());
    else
        rkconv_probe_file(path.c_str(), &facts.header, metadata.get(), message.out());
    facts.error = message.text();
    take_metadata(metadata.get(), facts);
    return facts;
}

std::string json_line(const std::string &path, const file_facts &facts) {
    nlohmann::ordered_json line;
    line["path"] = path;
    if (facts.error.empty()) {
        line["format"] = rkconv_format_name(facts.header.format);
        line["width"] = facts.header.width;
        line["height"] = facts.header.height;
        line["orientation"] = facts.orientation;
        if (facts.icc_length > 0)
            line["icc_profile"] = {{"description", facts.icc_description}, {"length", facts.icc_length}};
        else
            line["icc_profile"] = nullptr;
    } else {
        line["error"] = facts.error;
    }
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

info_command::info_command() : command("info", info_help) {}

void info_command::declare_options(CLI::App &app) {
    app.add_flag("--json", json_);
    app.add_option("FILE", files_);
}

int info_command::execute() {
    if (files_.empty()) return usage("info needs at least one file");

    int status = exit_ok;
    for (const std::string &path : files_) {
        const file_facts facts = examine(path);
        if (!facts.error.empty()) status = exit_failed;
        if (json_) {
            std::printf("%s\n", json_line(path, facts).c_str());
        } else if (facts.error.empty()) {
            std::printf("%s: %s %dx%d\n", path.c_str(), rkconv_format_name(facts.header.format), facts.header.width,
                        facts.header.height);
        } else {
            std::fflush(stdout);
            print_library_lines(path + ": " + facts.error, true);
        }
    }
    if (std::fflush(stdout) != 0) return exit_failed;
    return status;
}

}  // namespace rktool
