#pragma once
// sealdoor-cli as a script runs it: arguments, standard input, a working
// folder; its exit status and what it wrote, each stream on its own.

#include <filesystem>
#include <string>
#include <vector>

namespace sealdoor::test {

struct CliResult {
  int exitCode = -1;  // 128 + signal when a signal ended it
  std::string out;
  std::string err;
};

CliResult RunCli(const std::vector<std::string>& args, const std::string& input = {},
                 const std::filesystem::path& folder = {});

// Stops every sealdoor-cli that RunCli started and that still runs, at once
// and without warning (Windows only); true when there was one.
bool KillCliProcesses();

}  // namespace sealdoor::test
