#include "file_kind.h"

#include <linux/magic.h>

namespace sealdoor {
namespace {

// The system's views of itself: their "files" are made up as they are read.
bool IsSystemView(long type) noexcept {
  switch (type) {
    case PROC_SUPER_MAGIC: case SYSFS_MAGIC: case DEBUGFS_MAGIC: case TRACEFS_MAGIC:
    case SECURITYFS_MAGIC: case CGROUP_SUPER_MAGIC: case CGROUP2_SUPER_MAGIC:
    case BPF_FS_MAGIC: case PSTOREFS_MAGIC: case EFIVARFS_MAGIC: case DEVPTS_SUPER_MAGIC:
    case BINFMTFS_MAGIC: case 0x62656570 /* configfs */:
      return true;
    default:
      return false;
  }
}

}  // namespace

std::expected<void, Failure> CheckFileOnDisk(const struct stat& st, long fsType) {
  if (S_ISDIR(st.st_mode)) return std::unexpected(Failure::Of(Failure::Kind::IsFolder));
  if (!S_ISREG(st.st_mode)) return std::unexpected(Failure::Of(Failure::Kind::NotRegular));
  if (IsSystemView(fsType))
    return std::unexpected(Failure::Of(Failure::Kind::SystemView));
  return {};
}

}  // namespace sealdoor
