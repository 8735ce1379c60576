#pragma once
#include <string>
#include <vector>

namespace sealdoor::cli {

// The whole command line tool, from its arguments (UTF-8, without the
// program's name) to its exit status.
int RunCli(const std::vector<std::string>& args);

}  // namespace sealdoor::cli
