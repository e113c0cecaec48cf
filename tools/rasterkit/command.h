// A subcommand of the tool: it declares its options on the parser, then runs
// on what was parsed. The base class owns what every command shares: its own
// help text behind -h/--help and the refusal of unknown options.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

namespace rktool {

class command {
public:
    command(const char *name, const char *help) : name_(name), help_text_(help) {}
    virtual ~command() = default;
    command(const command &) = delete;
    command &operator=(const command &) = delete;

    // Declares the subcommand under `root`, then its own options.
    CLI::App *attach(CLI::App &root);
    // After parsing: the help text, a usage error for leftovers, or the command's work.
    int run();

protected:
    virtual void declare_options(CLI::App &app) = 0;
    virtual int execute() = 0;
    int usage(const std::string &message) const;
    CLI::App &app() const { return *app_; }

private:
    const char *name_;
    const char *help_text_;
    CLI::App *app_ = nullptr;
    bool help_wanted_ = false;
};

// Prints "rasterkit: MESSAGE", a blank line and the help text on standard
// error; returns the usage status.
int usage_error(const std::string &message, const char *help);

// Declares -h/--help on `app` to set `wanted` (the parser's own help is off).
void use_help_text(CLI::App &app, bool &wanted);

}  // namespace rktool
