#include <string>
#include <vector>

#include "cli/run_cli.h"
#include "engine/process_guard.h"
#include "engine/win32/wide.h"

// The arguments as Windows gives them, in UTF-16, so names in any script
// arrive whole.
int wmain(int argc, wchar_t** argv) {
  sealdoor::GuardProcess();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.push_back(sealdoor::win32::Narrow(argv[i]));
  return sealdoor::cli::RunCli(args);
}
