// rasterkit selftest: the library's own self-tests.
#pragma once

#include "command.h"

namespace rktool {

class selftest_command : public command {
public:
    selftest_command();

private:
    void declare_options(CLI::App &app) override;
    int execute() override;

    std::string which_ = "all";
    std::string directory_;
};

}  // namespace rktool
