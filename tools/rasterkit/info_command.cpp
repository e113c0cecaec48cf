#include "info_command.h"

#include <unistd.h>

#include <cstdio>
#include <nlohmann/json.hpp>

#include "help_text.h"
#include "tool_common.h"

namespace rktool {
namespace {

struct file_facts {
    std::int32_t format = -1;
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::string error;  // empty when the file was read
};

file_facts examine(const std::string &path) {
    file_facts facts;
    facts.format = rasterkit_magic_type(path.c_str());
    if (facts.format < 0) {
        facts.error = "not a readable BMP, PNG or JPEG file";
        return facts;
    }
    image_holder image;
    if (image.get() == nullptr) {
        facts.error = "out of memory";
        return facts;
    }
    rasterkit_readimage(path.c_str(), image.get());
    if (!image.has_pixels()) {
        facts.error = std::string("cannot be read as ") + format_name(facts.format);
        return facts;
    }
    facts.width = image.get()->width;
    facts.height = image.get()->height;
    return facts;
}

std::string json_line(const std::string &path, const file_facts &facts) {
    nlohmann::ordered_json line;
    line["path"] = path;
    if (facts.error.empty()) {
        line["format"] = format_name(facts.format);
        line["width"] = facts.width;
        line["height"] = facts.height;
    } else {
        line["error"] = facts.error;
    }
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

// Standard output carries JSON alone: the library's lines, which it prints
// on standard output, are sent to standard error for the length of the run.
std::FILE *divert_library_output() {
    std::fflush(stdout);
    const int json_fd = ::dup(STDOUT_FILENO);
    if (json_fd < 0) return nullptr;
    std::FILE *json = ::fdopen(json_fd, "w");
    if (json == nullptr) {
        ::close(json_fd);
        return nullptr;
    }
    if (::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        std::fclose(json);
        return nullptr;
    }
    return json;
}

}  // namespace

info_command::info_command() : command("info", info_help) {}

void info_command::declare_options(CLI::App &app) {
    app.add_flag("--json", json_);
    app.add_option("FILE", files_);
}

int info_command::execute() {
    if (files_.empty()) return usage("info needs at least one file");

    std::FILE *json = json_ ? divert_library_output() : nullptr;
    if (json_ && json == nullptr) {
        std::perror("rasterkit: standard output");
        return exit_failed;
    }
    int status = exit_ok;
    for (const std::string &path : files_) {
        const file_facts facts = examine(path);
        if (!facts.error.empty()) status = exit_failed;
        std::fflush(stdout);
        if (json != nullptr) {
            std::fprintf(json, "%s\n", json_line(path, facts).c_str());
        } else if (facts.error.empty()) {
            std::printf("%s: %s %dx%d\n", path.c_str(), format_name(facts.format), facts.width, facts.height);
        } else {
            std::fprintf(stderr, "rasterkit: %s: %s\n", path.c_str(), facts.error.c_str());
        }
    }
    if (json != nullptr && std::fclose(json) != 0) return exit_failed;
    return status;
}

}  // namespace rktool
