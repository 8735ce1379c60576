#pragma once
#include <string>

namespace sealdoor::test {

// Runs a command line through the POSIX shell (tests only); its exit status
// and everything it printed.
struct CommandResult {
  int exitCode = -1;
  std::string output;
};
CommandResult RunShell(const std::string& commandLine);

}  // namespace sealdoor::test
