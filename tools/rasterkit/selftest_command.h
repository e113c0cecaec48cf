// rasterkit selftest: the library's own self-tests.
#pragma once

#include "command.h"

namespace rktool {

class selftest_command : public command {
public:
    CLI::App *attach(CLI::App &root) override;
    int run() override;

private:
    CLI::App *app_ = nullptr;
    bool help_ = false;
    std::string which_ = "all";
    std::string directory_;
};

}  // namespace rktool
