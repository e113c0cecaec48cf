// rasterkit info: format and size of files, as text or JSON lines.
#pragma once

#include <vector>

#include "command.h"

namespace rktool {

class info_command : public command {
public:
    info_command();

private:
    void declare_options(CLI::App &app) override;
    int execute() override;

    bool json_ = false;
    std::vector<std::string> files_;
};

}  // namespace rktool
