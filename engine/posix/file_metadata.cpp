#include "file_metadata.h"

#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "folder.h"
#include "posix_io.h"

namespace sealdoor {
namespace {

// The names of a file's extended attributes.
std::expected<std::vector<std::string>, Failure> AttributeNames(int fd) {
  std::vector<char> buf(1024);
  for (;;) {
    const ssize_t n = ::flistxattr(fd, buf.data(), buf.size());
    if (n >= 0) {
      std::vector<std::string> names;
      for (std::size_t i = 0; i < static_cast<std::size_t>(n);) {
        names.emplace_back(buf.data() + i);
        i += names.back().size() + 1;
      }
      return names;
    }
    if (errno == ENOTSUP) return std::vector<std::string>{};
    if (errno != ERANGE) return std::unexpected(Failure::System(errno));
    buf.resize(buf.size() * 4);
  }
}

std::expected<std::vector<char>, Failure> AttributeValue(int fd, const std::string& name) {
  std::vector<char> value(256);
  for (;;) {
    const ssize_t n = ::fgetxattr(fd, name.c_str(), value.data(), value.size());
    if (n >= 0) {
      value.resize(static_cast<std::size_t>(n));
      return value;
    }
    if (errno != ERANGE) return std::unexpected(Failure::System(errno));
    value.resize(value.size() * 4);
  }
}

// Errors that mean "this file system has no such thing", not trouble.
bool NotSupported(int err) { return err == ENOTTY || err == EOPNOTSUPP || err == EINVAL || err == ENOSYS; }

std::unexpected<Failure> CannotKeep(Failure::Property what, int err, std::string name = {}) {
  return std::unexpected(Failure::NotKept(what, err, std::move(name)));
}

// An extended attribute that could not be kept, by what it is.
std::unexpected<Failure> CannotKeepAttribute(const std::string& name, int err) {
  if (name == "system.posix_acl_access") return CannotKeep(Failure::Property::AccessList, err);
  if (name == "security.capability") return CannotKeep(Failure::Property::Capabilities, err);
  return CannotKeep(Failure::Property::ExtendedAttribute, err, name);
}

// Inode flags (chattr) that describe how a file is kept rather than what
// it holds. Those that change how data is written go on while the file is
// empty; synchronous writes only once our own writing is done. Immutable
// and append-only files are never rewritten at all.
constexpr int kEarlyFlags = FS_NOCOW_FL | FS_NOCOMP_FL | FS_COMPR_FL | FS_NODUMP_FL | FS_NOATIME_FL;
constexpr int kLateFlags = FS_SYNC_FL;

// What a new file in the folder starts with is the folder's inheritable
// flags; only where that differs from the original is the new file looked
// at and set (a batch of many files mostly needs neither).
std::expected<void, Failure> CopyInodeFlags(const InodeFlags& flags, int to, int which) {
  if ((flags.file & which) == 0 && (flags.folder & which) == 0) return {};
  int ours = 0;
  if (::ioctl(to, FS_IOC_GETFLAGS, &ours) != 0) {
    if ((flags.file & which) == 0) return {};
    return CannotKeep(Failure::Property::ChattrFlags, errno);
  }
  const int wanted = (ours & ~which) | (flags.file & which);
  if (wanted != ours && ::ioctl(to, FS_IOC_SETFLAGS, &wanted) != 0)
    return CannotKeep(Failure::Property::ChattrFlags, errno);
  return {};
}

// The project a file counts towards for quotas (XFS, ext4): a new file has
// its folder's where the folder hands it on, else none.
std::expected<void, Failure> CopyProject(const InodeFlags& flags, int to) {
  const std::uint32_t inherited = (flags.folder & FS_PROJINHERIT_FL) ? flags.folderProject : 0;
  if (flags.project == inherited) return {};
  fsxattr ours{};
  if (::ioctl(to, FS_IOC_FSGETXATTR, &ours) != 0) return CannotKeep(Failure::Property::Project, errno);
  if (ours.fsx_projid == flags.project) return {};
  ours.fsx_projid = flags.project;
  if (::ioctl(to, FS_IOC_FSSETXATTR, &ours) != 0) return CannotKeep(Failure::Property::Project, errno);
  return {};
}

}  // namespace

std::expected<InodeFlags, Failure> InodeFlags::Of(int file, const Folder& folder) {
  InodeFlags f;
  f.folder = folder.flags;
  f.folderProject = folder.project;
  if (::ioctl(file, FS_IOC_GETFLAGS, &f.file) != 0) {
    if (!NotSupported(errno)) return CannotKeep(Failure::Property::ChattrFlags, errno);
    f.file = 0;
    return f;  // no flags, no projects either
  }
  fsxattr x{};
  if (::ioctl(file, FS_IOC_FSGETXATTR, &x) == 0)
    f.project = x.fsx_projid;
  else if (!NotSupported(errno))
    return CannotKeep(Failure::Property::Project, errno);
  return f;
}

std::expected<void, Failure> CopyEarlyInodeFlags(const InodeFlags& flags, int to) {
  return CopyInodeFlags(flags, to, kEarlyFlags);
}

std::expected<void, Failure> CopyFileMetadata(int from, const struct stat& original, const InodeFlags& flags,
                                              const Folder& folder, int to) {
  // Owner first: a change of owner clears set-id bits and capabilities,
  // which the mode and the attributes below put back. A new file is ours,
  // in our group or, in a set-group-ID folder, in the folder's.
  const gid_t newGroup = (folder.st.st_mode & S_ISGID) ? folder.st.st_gid : folder.ourGid;
  if ((folder.ourUid != original.st_uid || newGroup != original.st_gid) &&
      ::fchown(to, original.st_uid, original.st_gid) != 0) {
    if (errno == EPERM) return std::unexpected(Failure::Of(Failure::Kind::OtherUsersFile));
    return std::unexpected(Failure::System(errno));
  }

  auto theirs = AttributeNames(from);
  if (!theirs) return std::unexpected(theirs.error());
  std::erase(*theirs, std::string(kWorkingFileMark));
  // What the new file picked up on its own (a folder's default access list,
  // a security label) goes, unless the original has it too; a new file in
  // a folder without a default list picks up nothing but labels, which stay.
  auto ours = folder.defaultAccessList ? AttributeNames(to)
                                       : std::expected<std::vector<std::string>, Failure>(std::in_place);
  if (!ours) return std::unexpected(ours.error());
  for (const auto& name : *ours) {
    if (std::find(theirs->begin(), theirs->end(), name) != theirs->end()) continue;
    if (::fremovexattr(to, name.c_str()) != 0 && errno != ENODATA && !name.starts_with("security."))
      return CannotKeep(Failure::Property::ExtendedAttributeFromFolder, errno, name);
  }
  // The mode after the inherited list went and before the original's list
  // comes: setting an access list sets the group bits to its mask.
  if (auto r = io::Fchmod(to, original.st_mode & 07777); !r) {
    // File systems that keep no modes (FAT through FUSE) refuse the call;
    // that is fine when the mode they give every file is the original's.
    const auto given = io::Fstat(to);
    const bool unsupported = r.error().code == ENOSYS || r.error().code == EOPNOTSUPP || r.error().code == EPERM;
    if (!unsupported || !given || (given->st_mode & 07777) != (original.st_mode & 07777))
      return std::unexpected(r.error());
  }
  for (const auto& name : *theirs) {
    auto value = AttributeValue(from, name);
    if (!value) {
      if (value.error().code == ENODATA) continue;  // gone meanwhile; the final check will tell
      return CannotKeepAttribute(name, value.error().code);
    }
    if (::fsetxattr(to, name.c_str(), value->data(), value->size(), 0) == 0) continue;
    const int err = errno;
    // A label the system gives every new file alike may refuse to be set by
    // us; that is fine when the new file already has the same one.
    if (auto same = AttributeValue(to, name); same && *same == *value) continue;
    return CannotKeepAttribute(name, err);
  }
  if (auto r = CopyProject(flags, to); !r) return r;
  return CopyInodeFlags(flags, to, kLateFlags);
}

}  // namespace sealdoor
