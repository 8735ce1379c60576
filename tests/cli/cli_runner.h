#pragma once
// sealdoor-cli as a script runs it: arguments, standard input, a working
// folder; its exit status and what it wrote, each stream on its own.

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sealdoor::test {

struct CliResult {
  int exitCode = -1;  // 128 + signal when a signal ended it
  std::string out;
  std::string err;
  bool interrupted = false;  // the interrupt asked for went out
};

// With `interruptAfter`, the user's interrupt comes that long after the
// start: Ctrl-C; on Windows Ctrl-Break, the tool then sharing this test's
// console (which the test must have).
CliResult RunCli(const std::vector<std::string>& args, const std::string& input = {},
                 const std::filesystem::path& folder = {},
                 std::optional<std::chrono::microseconds> interruptAfter = std::nullopt);

// Stops every sealdoor-cli that RunCli started and that still runs, at once
// and without warning (Windows only); true when there was one.
bool KillCliProcesses();

}  // namespace sealdoor::test
