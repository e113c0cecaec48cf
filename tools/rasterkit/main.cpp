// rasterkit: the command-line face of the library, built on its public
// interface alone.
#include <algorithm>
#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

#include "convert_command.h"
#include "help_text.h"
#include "info_command.h"
#include "signals.h"
#include "selftest_command.h"
#include "tool_common.h"

namespace {

int run(int argc, char **argv) {
    if (argc < 2) return rktool::usage_error("no command given", rktool::main_help);

    CLI::App root("rasterkit", "rasterkit");
    bool help = false;
    bool version = false;
    rktool::use_help_text(root, help);
    root.add_flag("--version", version);
    root.allow_extras();
    std::vector<std::unique_ptr<rktool::command>> commands;
    commands.push_back(std::make_unique<rktool::info_command>());
    commands.push_back(std::make_unique<rktool::convert_command>());
    commands.push_back(std::make_unique<rktool::selftest_command>());
    std::vector<CLI::App *> apps;
    apps.reserve(commands.size());
    for (const auto &c : commands) apps.push_back(c->attach(root));

    try {
        root.parse(argc, argv);
    } catch (const CLI::ParseError &error) {
        return rktool::usage_error(error.what(), rktool::main_help);
    }
    std::vector<std::string> leftovers = root.remaining();
    // The parser keeps the "--" that ends the options among its leftovers, and
    // hands arguments after a late "--" back to the root.
    leftovers.erase(std::remove(leftovers.begin(), leftovers.end(), "--"), leftovers.end());
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (!apps[i]->parsed()) continue;
        if (!leftovers.empty())
            return rktool::usage_error("unexpected argument '" + leftovers.front() + "'", rktool::main_help);
        return commands[i]->run();
    }
    if (help) {
        std::fputs(rktool::main_help, stdout);
        return rktool::exit_ok;
    }
    if (version) {
        std::printf("rasterkit %s\n", RASTERKIT_VERSION);
        return rktool::exit_ok;
    }
    const std::string first = leftovers.empty() ? std::string() : leftovers.front();
    if (first.size() > 1 && first[0] == '-') return rktool::usage_error("unknown option '" + first + "'", rktool::main_help);
    return rktool::usage_error("unknown command '" + first + "'", rktool::main_help);
}

}  // namespace

int main(int argc, char **argv) {
    rktool::prepare_for_signals();
    try {
        return run(argc, argv);
    } catch (const std::exception &error) {
        std::fflush(stdout);
        std::fprintf(stderr, "rasterkit: %s\n", error.what());
        return rktool::exit_failed;
    }
}
