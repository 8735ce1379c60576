#pragma once
#include <string>

#include "shell/program_starter.h"

namespace sealdoor::shell {

// Programs started as Windows starts them: CreateProcessW in a normal
// window that takes the focus; a batch file through "cmd /c".
class CreateProcessStarter final : public ProgramStarter {
 public:
  std::expected<Started, std::string> StartFile(const std::string& path) override;
  std::expected<Started, std::string> StartCommand(const std::string& prefix, const std::string& path) override;
};

// The command line of a registered command and a file: `prefix` and then
// the path, in double quotes unless the prefix already opened them (so a
// path with spaces arrives as one argument).
[[nodiscard]] std::string CommandLineFor(const std::string& prefix, const std::string& path);

}  // namespace sealdoor::shell
