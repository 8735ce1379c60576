#pragma once
#include <string>
#include <vector>

#include "shell/program_starter.h"

namespace sealdoor::shell {

// GLib's g_spawn_async. The child is watched for its end, and reaped when
// its end is seen (a child not yet seen ends with this process).
// The command prefix is split by the quoting rules of desktop entries.
class SpawnStarter final : public ProgramStarter {
 public:
  std::expected<Started, std::string> StartFile(const std::string& path) override;
  std::expected<Started, std::string> StartCommand(const std::string& prefix, const std::string& path) override;

 private:
  static std::expected<Started, std::string> Spawn(const std::vector<std::string>& argv);
};

}  // namespace sealdoor::shell
