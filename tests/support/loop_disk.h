#pragma once
// A disk of another file system, made in an image file and mounted for the
// length of a test: the kernel's own driver where it has one, else the FUSE
// driver a desktop uses (exfat-fuse). Needs root; Unavailable()
// says why not when it cannot be made here.

#include <filesystem>
#include <optional>
#include <string>

namespace sealdoor::test {

class LoopDisk {
 public:
  // `type`: "ext4", "xfs", "btrfs", "exfat" or "vfat".
  explicit LoopDisk(std::string type, int megabytes = 320);
  ~LoopDisk();
  LoopDisk(const LoopDisk&) = delete;
  LoopDisk& operator=(const LoopDisk&) = delete;

  // Why it is not mounted, or nothing when it is.
  [[nodiscard]] const std::optional<std::string>& Unavailable() const { return why_; }
  [[nodiscard]] const std::filesystem::path& Mount() const { return mount_; }
  [[nodiscard]] const std::string& Type() const { return type_; }

 private:
  std::string type_;
  std::filesystem::path root_, image_, mount_;
  std::string loop_;  // the loop device, where a FUSE driver needs one
  bool mounted_ = false;
  std::optional<std::string> why_;
};

}  // namespace sealdoor::test
