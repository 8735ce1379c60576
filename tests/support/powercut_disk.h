#pragma once
// A disk whose power can be cut: the project's powercut-fs mounted over a
// scratch folder. What a test writes through Mount() is kept in Disk() only
// as far as it was synced when Cut() comes; Start() again is the machine
// coming back.

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sealdoor::test {

class PowerCutDisk {
 public:
  // `options`: those of powercut-fs, such as "--names-need-folder-sync".
  explicit PowerCutDisk(std::vector<std::string> options = {});
  ~PowerCutDisk();
  PowerCutDisk(const PowerCutDisk&) = delete;
  PowerCutDisk& operator=(const PowerCutDisk&) = delete;

  // Why no such disk can be made here (no /dev/fuse, no powercut-fs), or
  // nothing when it can.
  [[nodiscard]] static std::optional<std::string> Unavailable();

  // Mounted, ready for use; false (with the reason on stderr) otherwise.
  [[nodiscard]] bool Start();
  // The power goes: everything not synced is lost, the mount goes away.
  void Cut();

  [[nodiscard]] const std::filesystem::path& Mount() const { return mount_; }
  [[nodiscard]] const std::filesystem::path& Disk() const { return disk_; }

 private:
  std::vector<std::string> options_;
  std::filesystem::path root_, disk_, trash_, mount_;
  pid_t pid_ = -1;
};

}  // namespace sealdoor::test
