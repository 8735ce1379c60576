#include <clocale>
#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "engine/process_guard.h"

int main(int argc, char** argv) {
  sealdoor::GuardProcess();
  // The system's own words (its error texts) in the user's language too,
  // in the terminal's character set.
  std::setlocale(LC_CTYPE, "");
  std::setlocale(LC_MESSAGES, "");
  return sealdoor::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
