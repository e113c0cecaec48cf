// A subcommand of the tool: it declares its options on the parser, then runs
// on what was parsed.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace rktool {

class command {
public:
    virtual ~command() = default;
    // Declares the subcommand and its options under `root`.
    virtual CLI::App *attach(CLI::App &root) = 0;
    // Runs once parsing succeeded; returns the exit status.
    virtual int run() = 0;
};

// Prints "rasterkit: MESSAGE", a blank line and the help text on standard
// error; returns the usage status.
int usage_error(const std::string &message, const char *help);

// Declares -h/--help on `app` to print `help` (the parser's own help is off).
void use_help_text(CLI::App &app, bool &wanted);

// Usage status for what the parser left over (an unknown option, a stray
// argument); exit_ok when nothing was.
int refuse_leftovers(const CLI::App &app, const char *help);

}  // namespace rktool
