#include "cli/cli.h"

#include <iostream>

namespace tarsel::cli {

int RunParse(const std::vector<std::string> &)
{
    std::cerr << "tarsel-cli: this command is not available yet\n";
    return 2;
}

} // namespace tarsel::cli
