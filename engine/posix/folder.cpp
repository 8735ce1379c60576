#include "folder.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "engine/batch_scope.h"

namespace sealdoor {
namespace {

// File systems whose syncfs is known to put everything written on the disk:
// the local block file systems (and tmpfs, which has no disk). On any other
// (FUSE, network file systems, overlays, anything unknown) a sync of the
// whole file system may never reach where the data is kept, so every file
// is synced on its own.
bool SyncFsIsTrusted(long type) {
  switch (type) {
    case EXT4_SUPER_MAGIC:  // ext2, ext3 and ext4
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
      return true;
    default:
      return false;
  }
}

// Errors that mean "this file system has no such flags", not trouble.
bool NotSupported(int err) { return err == ENOTTY || err == EOPNOTSUPP || err == EINVAL || err == ENOSYS; }

std::mutex gMutex;
std::map<std::string, std::weak_ptr<Folder>> gFolders;
std::map<dev_t, std::weak_ptr<FileSystemFacts>> gFacts;

std::expected<std::shared_ptr<Folder>, Failure> Open(const std::string& path) {
  auto folder = std::make_shared<Folder>();
  folder->path = path;
  auto dir = io::Open(path, O_RDONLY | O_DIRECTORY);
  if (!dir) return std::unexpected(dir.error());
  folder->dir = std::move(*dir);
  const int fd = folder->dir.Get();
  auto st = io::Fstat(fd);
  if (!st) return std::unexpected(st.error());
  folder->st = *st;
  struct statfs fsInfo {};
  if (::fstatfs(fd, &fsInfo) != 0) return std::unexpected(Failure::System(errno));
  folder->fsType = static_cast<long>(fsInfo.f_type);
  folder->syncFsTrusted = SyncFsIsTrusted(folder->fsType);
  // A folder marked immutable or append-only lets no file in it be
  // replaced; one that cannot tell is taken to have none of the flags, and
  // one that fails to tell is not worked in at all.
  if (::ioctl(fd, FS_IOC_GETFLAGS, &folder->flags) != 0) {
    if (!NotSupported(errno)) return std::unexpected(Failure::NotKept(Failure::Property::ChattrFlags, errno));
    folder->flags = 0;
  }
  if (folder->flags & FS_PROJINHERIT_FL) {
    fsxattr x{};
    if (::ioctl(fd, FS_IOC_FSGETXATTR, &x) != 0) return std::unexpected(Failure::NotKept(Failure::Property::Project, errno));
    folder->project = x.fsx_projid;
  }
  folder->defaultAccessList = ::fgetxattr(fd, "system.posix_acl_default", nullptr, 0) > 0;
  folder->ourUid = ::geteuid();
  folder->ourGid = ::getegid();
  return folder;
}

}  // namespace

std::expected<std::shared_ptr<Folder>, Failure> Folder::Get(const std::string& path) {
  const bool batch = BatchScope::Active();
  if (batch) {
    const std::lock_guard lock(gMutex);
    if (auto known = gFolders[path].lock()) {
      BatchScope::KeepRecent(known);
      return known;
    }
  }
  auto folder = Open(path);
  if (!folder) return folder;
  const std::lock_guard lock(gMutex);
  std::erase_if(gFacts, [](const auto& entry) { return entry.second.expired(); });
  auto& facts = gFacts[(*folder)->st.st_dev];
  (*folder)->facts = facts.lock();
  if (!(*folder)->facts) {
    (*folder)->facts = std::make_shared<FileSystemFacts>();
    facts = (*folder)->facts;
    if (batch) BatchScope::Keep((*folder)->facts);
  }
  if (batch) {
    std::erase_if(gFolders, [](const auto& entry) { return entry.second.expired(); });
    gFolders[path] = *folder;
    BatchScope::KeepRecent(*folder);
  }
  return folder;
}

const std::string& Folder::Id() {
  if (id_.empty()) {
    auto resolved = io::FdPath(dir.Get());
    // Where the system cannot say (a folder without a name, deleted), no
    // later run finds this journal by its folder anyway.
    id_ = resolved ? resolved->string() : path;
  }
  return id_;
}

}  // namespace sealdoor
