#include "run_shell.h"

#include <sys/wait.h>

#include <cstdio>

namespace sealdoor::test {

CommandResult RunShell(const std::string& commandLine) {
  CommandResult r;
  FILE* p = ::popen(commandLine.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int status = ::pclose(p);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace sealdoor::test
