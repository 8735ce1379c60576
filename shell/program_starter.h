#pragma once
#include <expected>
#include <string>
#include <vector>

namespace sealdoor::shell {

// Starts a program on its own, without a shell, and does not wait for it.
class ProgramStarter {
 public:
  virtual ~ProgramStarter() = default;
  // argv[0] is the program, looked up on the PATH unless it holds a "/".
  // On failure, the reason.
  virtual std::expected<void, std::string> Start(const std::vector<std::string>& argv) = 0;
};

// GLib's g_spawn_async: the child is detached and reaped, never a zombie.
class SpawnStarter final : public ProgramStarter {
 public:
  std::expected<void, std::string> Start(const std::vector<std::string>& argv) override;
};

}  // namespace sealdoor::shell
