#pragma once
#include <string>
#include <vector>

// tarsel-cli: the command-line client on the same engine as the windows.
namespace tarsel::cli {

// `tarsel-cli parse --type N FILE`: the rows a listing becomes.
int RunParse(const std::vector<std::string> &args);
// Every other invocation: `tarsel-cli [OPTIONS] HOST[:PORT] COMMAND [ARGS...]`.
int RunFtp(const std::vector<std::string> &args);

} // namespace tarsel::cli
