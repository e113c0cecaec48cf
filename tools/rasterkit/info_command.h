// rasterkit info: format and size of files, as text or JSON lines.
#pragma once

#include <vector>

#include "command.h"

namespace rktool {

class info_command : public command {
public:
    CLI::App *attach(CLI::App &root) override;
    int run() override;

private:
    CLI::App *app_ = nullptr;
    bool help_ = false;
    bool json_ = false;
    std::vector<std::string> files_;
};

}  // namespace rktool
