#include "loop_disk.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "run_shell.h"

namespace sealdoor::test {
namespace fs = std::filesystem;

namespace {

bool Has(const std::string& program) { return RunShell("command -v " + program + " >/dev/null 2>&1").exitCode == 0; }

bool IsMountPoint(const fs::path& p) {
  struct stat self {}, parent {};
  return ::stat(p.c_str(), &self) == 0 && ::stat(p.parent_path().c_str(), &parent) == 0 &&
         self.st_dev != parent.st_dev;
}

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

}  // namespace

LoopDisk::LoopDisk(std::string type, int megabytes) : type_(std::move(type)) {
  if (::geteuid() != 0) {
    why_ = "making and mounting a " + type_ + " disk needs root";
    return;
  }
  const std::string mkfs = type_ == "vfat" ? "mkfs.vfat" : "mkfs." + type_;
  if (!Has(mkfs)) {
    why_ = mkfs + " is not installed";
    return;
  }
  char tmpl[] = "/tmp/sealdoor-disk-XXXXXX";
  root_ = ::mkdtemp(tmpl);
  image_ = root_ / "image";
  mount_ = root_ / "mnt";
  fs::create_directories(mount_);
  const std::string quiet = " >/dev/null 2>&1";
  RunShell("truncate -s " + std::to_string(megabytes) + "M " + Quote(image_));
  if (RunShell(mkfs + (type_ == "xfs" || type_ == "btrfs" ? " -f " : " ") + Quote(image_) + quiet).exitCode != 0) {
    why_ = mkfs + " failed";
    return;
  }
  // The kernel's driver first.
  if (RunShell("mount -o loop " + Quote(image_) + " " + Quote(mount_) + quiet).exitCode == 0 && IsMountPoint(mount_)) {
    mounted_ = true;
    return;
  }
  // Else the FUSE driver desktops use for removable disks.
  if (type_ == "exfat" && Has("mount.exfat-fuse")) {
    const auto dev = RunShell("losetup -f --show " + Quote(image_) + " 2>/dev/null");
    loop_ = dev.output.substr(0, dev.output.find('\n'));
    if (!loop_.empty() && RunShell("mount.exfat-fuse " + loop_ + " " + Quote(mount_) + quiet).exitCode == 0)
      mounted_ = IsMountPoint(mount_);
  }
  // (fusefat is no such driver: it cannot rewrite a file once renamed.)
  if (!mounted_) why_ = "no driver here mounts " + type_ + " (neither the kernel's nor a FUSE one)";
}

LoopDisk::~LoopDisk() {
  if (mounted_) RunShell("umount " + Quote(mount_) + " >/dev/null 2>&1 || umount -l " + Quote(mount_) + " >/dev/null 2>&1");
  if (!loop_.empty()) RunShell("losetup -d " + loop_ + " >/dev/null 2>&1");
  std::error_code ec;
  if (!root_.empty()) fs::remove_all(root_, ec);
}

}  // namespace sealdoor::test
