// sealdoor-cli whose new versions are committed in groups of a few files,
// for the tests that kill runs: their kills then fall between commits and
// inside them, not only before the one commit of a small batch.
// Usage: sealdoor-cli-small-groups FILES-PER-GROUP ARGUMENTS...

#include <cstdlib>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "engine/process_guard.h"

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  sealdoor::GuardProcess();
  sealdoor::cli::CliSettings settings;
  settings.groups.files = std::max<std::size_t>(1, std::strtoul(argv[1], nullptr, 10));
  return sealdoor::cli::RunCli(std::vector<std::string>(argv + 2, argv + argc), settings);
}
