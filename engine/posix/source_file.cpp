#include <fcntl.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "engine/source_file.h"
#include "file_kind.h"
#include "open_writers.h"
#include "source_impl.h"

namespace sealdoor {
namespace fs = std::filesystem;
namespace {

// A lease break is announced with SIGIO, whose default action ends the
// process. We only ever ask the lease whether it still holds, so the signal
// itself needs to do nothing.
void QuietLeaseSignal() noexcept {
  static const bool done = [] {
    struct sigaction old {};
    if (::sigaction(SIGIO, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) && old.sa_handler == SIG_DFL) {
      struct sigaction quiet {};
      quiet.sa_handler = [](int) {};
      quiet.sa_flags = SA_RESTART;
      ::sigemptyset(&quiet.sa_mask);
      ::sigaction(SIGIO, &quiet, nullptr);
    }
    return true;
  }();
  (void)done;
}

bool InGroup(gid_t gid, gid_t ours) {
  if (gid == ours) return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(n));
  const int got = ::getgroups(n, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

std::unexpected<Failure> Refused(Failure::Kind kind) { return std::unexpected(Failure::Of(kind)); }

// The new version is made by us and must end up with the file's owner and
// group; only root may give a file away.
std::expected<void, Failure> OwnerCanBeKept(const struct stat& st, const Folder& folder) {
  if (folder.ourUid == 0) return {};
  if (st.st_uid != folder.ourUid) return Refused(Failure::Kind::OtherUsersFile);
  if (!InGroup(st.st_gid, folder.ourGid)) return Refused(Failure::Kind::ForeignGroup);
  return {};
}

// Immutable and append-only files (chattr +i, +a) cannot be replaced, nor
// can any file in a folder marked so.
std::expected<void, Failure> Replaceable(const InodeFlags& flags) {
  if (flags.file & FS_IMMUTABLE_FL) return Refused(Failure::Kind::Immutable);
  if (flags.file & FS_APPEND_FL) return Refused(Failure::Kind::AppendOnly);
  if (flags.folder & FS_IMMUTABLE_FL) return Refused(Failure::Kind::FolderImmutable);
  if (flags.folder & FS_APPEND_FL) return Refused(Failure::Kind::FolderAppendOnly);
  return {};
}

// Same file, same size, same times: nobody changed it.
bool SameVersion(const struct stat& a, const struct stat& b) noexcept {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The folder a path's file is in, and its name there. The working folder
// is "." and is never asked for its path: a batch of files given by bare
// names costs no getcwd each.
std::pair<std::string, fs::path> Split(const fs::path& path) {
  fs::path folder = path.parent_path();
  if (folder.empty()) folder = ".";
  return {folder.string(), path.filename()};
}

// Locks the file for this run. Another run of ours that holds it has it:
// the second run leaves it alone. A lock of another program's keeps us
// away too: two runs that cannot tell each other by their locks must never
// both work on one file. True: it was held by someone a moment ago.
std::expected<bool, Failure> TakeFromOtherRuns(int fd, const struct stat& found) {
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return false;
  if (errno != EWOULDBLOCK) return std::unexpected(Failure::System(errno));
  if (HeldByAnotherRun(found.st_dev, found.st_ino)) return Refused(Failure::Kind::AnotherRun);
  // Let go of meanwhile: ours now, if nobody else has it.
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  return Refused(Failure::Kind::LockedElsewhere);
}

}  // namespace

std::expected<void, Failure> CheckUnchanged(const SourceFile::Impl& source) {
  if (!source.NoWriter()) return Refused(Failure::Kind::OpenForWriting);
  struct stat named {};
  if (::fstatat(source.Dir(), source.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return Refused(Failure::Kind::Deleted);
    return std::unexpected(Failure::System(errno));
  }
  if (!SameVersion(named, source.st)) return Refused(Failure::Kind::Changed);
  // Under a lease nobody can have changed the file itself without opening
  // it for writing (truncate breaks leases too); without one, look.
  if (source.leased) return {};
  auto now = io::Fstat(source.file.Get());
  // Some network and FUSE file systems cannot even tell about a file that
  // lost its name: it was replaced.
  if (!now) return std::unexpected(now.error().code == ESTALE ? Failure::Of(Failure::Kind::Changed) : now.error());
  if (!SameVersion(*now, source.st)) return Refused(Failure::Kind::Changed);
  return {};
}

bool SourceFile::Impl::NoWriter() const noexcept {
  if (leased) return ::fcntl(file.Get(), F_GETLEASE) == F_RDLCK;
  return FindWritersElsewhere(st.st_dev, st.st_ino) != WriterSearch::Found;
}

SourceFile::SourceFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SourceFile::SourceFile(SourceFile&&) noexcept = default;
SourceFile& SourceFile::operator=(SourceFile&&) noexcept = default;
SourceFile::~SourceFile() = default;  // closing the file lets go of the lease and the lock

std::expected<SourceFile, Failure> SourceFile::Open(const fs::path& path, Action action) {
  if (path.empty()) return std::unexpected(Failure::System(ENOENT));
  auto impl = std::make_unique<Impl>();
  auto [folderName, name] = Split(path);
  auto folder = Folder::Get(folderName);
  if (!folder) return std::unexpected(folder.error());
  // What the name is, looked at without opening it: opening a FIFO or a
  // device can block or act.
  struct stat found {};
  if (::fstatat((*folder)->dir.Get(), name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0)
    return std::unexpected(Failure::System(errno));
  if (S_ISLNK(found.st_mode)) {
    // A link is followed by the kernel (so one that another user planted
    // in a shared folder such as /tmp leads nowhere where
    // fs.protected_symlinks forbids it), and the file it leads to is
    // rewritten in its own folder.
    auto through = io::OpenAt((*folder)->dir.Get(), name.string(), O_PATH);
    if (!through) return std::unexpected(through.error());
    auto st = io::Fstat(through->Get());
    if (!st) return std::unexpected(st.error());
    if (auto r = CheckFileOnDisk(*st, 0); !r) return std::unexpected(r.error());
    auto real = io::FdPath(through->Get());
    if (!real) return std::unexpected(real.error());
    std::tie(folderName, name) = Split(*real);
    folder = Folder::Get(folderName);
    if (!folder) return std::unexpected(folder.error());
    if (::fstatat((*folder)->dir.Get(), name.c_str(), &found, AT_SYMLINK_NOFOLLOW) != 0)
      return std::unexpected(Failure::System(errno));
    if (found.st_ino != st->st_ino || found.st_dev != st->st_dev) return Refused(Failure::Kind::Changed);
  }
  impl->folder = std::move(*folder);
  impl->folderPath = folderName;
  impl->name = name;
  if (auto r = CheckFileOnDisk(found, impl->folder->fsType); !r) return std::unexpected(r.error());
  if (auto owner = OwnerCanBeKept(found, *impl->folder); !owner) return std::unexpected(owner.error());

  auto fd = io::OpenAt(impl->Dir(), impl->name.string(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY);
  if (!fd) return std::unexpected(fd.error());
  impl->file = std::move(*fd);
  // Locked before it is looked at: another run of ours that comes for the
  // same file meanwhile is told so and leaves it, one cleaning up after a
  // dead run sees it is in use, and one that had it and let go has put
  // its new version in its place (the file opened has no name any more).
  auto held = TakeFromOtherRuns(impl->file.Get(), found);
  if (!held) return std::unexpected(held.error());
  auto now = io::Fstat(impl->file.Get());
  if (!now) return std::unexpected(now.error());
  if (!S_ISREG(now->st_mode) || now->st_ino != found.st_ino || now->st_dev != found.st_dev || now->st_nlink == 0)
    return Refused(*held ? Failure::Kind::AnotherRun : Failure::Kind::Changed);
  impl->st = *now;
  if (Locks(action) && impl->st.st_nlink > 1)
    return std::unexpected(Failure{Failure::Kind::HardLinks, 0, {}, impl->st.st_nlink - 1, {}});
  // Refused before any work: such a file, or any file in such a folder,
  // cannot be replaced, and what we wrote could not even be removed.
  auto flags = InodeFlags::Of(impl->file.Get(), *impl->folder);
  if (!flags) return std::unexpected(flags.error());
  impl->flags = *flags;
  if (auto r = Replaceable(impl->flags); !r) return std::unexpected(r.error());

  // Taken before the first byte is read and held until the new version is
  // in place: no one can have the file open for writing while we hold it,
  // and anyone who opens it for writing meanwhile breaks it.
  QuietLeaseSignal();
  if (::fcntl(impl->file.Get(), F_SETLEASE, F_RDLCK) == 0) {
    impl->leased = true;
  } else if (errno == EAGAIN || errno == EBUSY) {
    return Refused(Failure::Kind::OpenForWriting);
  } else {
    switch (FindWritersElsewhere(impl->st.st_dev, impl->st.st_ino)) {
      case WriterSearch::Found:
        return Refused(Failure::Kind::OpenForWriting);
      case WriterSearch::Incomplete:
        // The processes we may not look at are other users'. Without a
        // lease, we cannot know whether one of them writes another user's
        // file, and would lose what it writes.
        if (impl->st.st_uid != impl->folder->ourUid) return Refused(Failure::Kind::WritersUnknown);
        break;
      case WriterSearch::None:
        break;
    }
  }
  impl->sparse = impl->st.st_blocks * 512 < impl->st.st_size;
  // Only a hint for the read-ahead: a system that ignores it reads as well.
  if (impl->st.st_size >= (1 << 20)) (void)::posix_fadvise(impl->file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return SourceFile(std::move(impl));
}

std::uint64_t SourceFile::Size() const noexcept { return static_cast<std::uint64_t>(impl_->st.st_size); }
const fs::path& SourceFile::Folder() const noexcept { return impl_->folderPath; }
const fs::path& SourceFile::Name() const noexcept { return impl_->name; }

std::expected<std::size_t, Failure> SourceFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  return io::PreadFull(impl_->file.Get(), buffer, static_cast<off_t>(offset));
}

std::expected<Extent, Failure> SourceFile::NextData(std::uint64_t offset) {
  const std::uint64_t size = Size();
  if (offset >= size) return Extent{size, size};
  if (!impl_->sparse) return Extent{offset, size};  // every block on the disk: all data
  const int fd = impl_->file.Get();
  const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
  if (data < 0) {
    if (errno == ENXIO) {
      // Only a hole is left, or the file was cut short under us: what
      // follows must not be taken for zeros.
      auto now = io::Fstat(fd);
      if (now && static_cast<std::uint64_t>(now->st_size) < size) return Refused(Failure::Kind::Changed);
      return Extent{size, size};
    }
    return Extent{offset, size};  // the system cannot tell: all data
  }
  if (static_cast<std::uint64_t>(data) >= size) return Extent{size, size};
  const off_t hole = ::lseek(fd, data, SEEK_HOLE);
  const std::uint64_t end = hole < 0 ? size : std::min<std::uint64_t>(static_cast<std::uint64_t>(hole), size);
  return Extent{static_cast<std::uint64_t>(data), end};
}

std::expected<void, Failure> SourceFile::CheckNoWriter() {
  if (impl_->leased && !impl_->NoWriter()) return Refused(Failure::Kind::OpenForWriting);
  return {};
}

std::expected<void, Failure> SourceFile::CheckUnchanged() { return sealdoor::CheckUnchanged(*impl_); }

}  // namespace sealdoor
