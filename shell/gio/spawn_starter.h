#pragma once
#include <string>
#include <vector>

#include "shell/program_starter.h"

namespace sealdoor::shell {

// GLib's g_spawn_async: the child is detached and reaped, never a zombie.
// The command prefix is split by the quoting rules of desktop entries.
class SpawnStarter final : public ProgramStarter {
 public:
  std::expected<void, std::string> StartFile(const std::string& path) override;
  std::expected<void, std::string> StartCommand(const std::string& prefix, const std::string& path) override;

 private:
  static std::expected<void, std::string> Spawn(const std::vector<std::string>& argv);
};

}  // namespace sealdoor::shell
