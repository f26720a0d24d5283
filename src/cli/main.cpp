#include "cli/cli.h"

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && args.front() == "parse")
        return tarsel::cli::RunParse({args.begin() + 1, args.end()});
    return tarsel::cli::RunFtp(args);
}
