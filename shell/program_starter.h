#pragma once
#include <expected>
#include <string>

namespace sealdoor::shell {

// Starts programs on their own, without a shell, and does not wait for them.
// One implementation per system.
class ProgramStarter {
 public:
  virtual ~ProgramStarter() = default;
  // Starts the file itself as a program. On failure, the reason.
  virtual std::expected<void, std::string> StartFile(const std::string& path) = 0;
  // Starts a registered command: `prefix` is the command cut before its file
  // argument, and `path` follows it (as one argument, whatever it holds).
  virtual std::expected<void, std::string> StartCommand(const std::string& prefix, const std::string& path) = 0;
};

}  // namespace sealdoor::shell
