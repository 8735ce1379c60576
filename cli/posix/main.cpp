#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "engine/process_guard.h"

int main(int argc, char** argv) {
  sealdoor::GuardProcess();
  return sealdoor::cli::RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
