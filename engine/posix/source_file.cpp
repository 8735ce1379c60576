#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/statfs.h>
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
    if (::sigaction(SIGIO, nullptr, &old) == 0 && !(old.sa_flags & SA_SIGINFO) &&
        old.sa_handler == SIG_DFL) {
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

bool InGroup(gid_t gid) {
  if (gid == ::getegid()) return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(n));
  const int got = ::getgroups(n, groups.data());
  return got > 0 && std::find(groups.begin(), groups.begin() + got, gid) != groups.begin() + got;
}

// The new version is made by us and must end up with the file's owner and
// group; only root may give a file away.
std::expected<void, Failure> OwnerCanBeKept(const struct stat& st) {
  if (::geteuid() == 0) return {};
  if (st.st_uid != ::geteuid()) return std::unexpected(Failure::Of(Failure::Kind::OtherUsersFile));
  if (!InGroup(st.st_gid))
    return std::unexpected(
        Failure::Of(Failure::Kind::ForeignGroup));
  return {};
}

// Immutable and append-only files (chattr +i, +a) cannot be replaced, nor
// can any file in a folder marked so.
std::expected<void, Failure> Replaceable(const InodeFlags& flags) {
  if (flags.file & FS_IMMUTABLE_FL)
    return std::unexpected(Failure::Of(Failure::Kind::Immutable));
  if (flags.file & FS_APPEND_FL)
    return std::unexpected(Failure::Of(Failure::Kind::AppendOnly));
  if (flags.folder & FS_IMMUTABLE_FL)
    return std::unexpected(
        Failure::Of(Failure::Kind::FolderImmutable));
  if (flags.folder & FS_APPEND_FL)
    return std::unexpected(
        Failure::Of(Failure::Kind::FolderAppendOnly));
  return {};
}

}  // namespace

namespace {

// Same file, same size, same times: nobody changed it.
bool SameVersion(const struct stat& a, const struct stat& b) noexcept {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

}  // namespace

std::expected<void, Failure> CheckUnchanged(const SourceFile::Impl& source) {
  if (!source.NoWriter()) return std::unexpected(Failure::Of(Failure::Kind::OpenForWriting));
  struct stat named {};
  if (::fstatat(source.dir.Get(), source.name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0) {
    if (errno == ENOENT) return std::unexpected(Failure::Of(Failure::Kind::Deleted));
    return std::unexpected(Failure::System(errno));
  }
  if (!SameVersion(named, source.st)) return std::unexpected(Failure::Of(Failure::Kind::Changed));
  auto now = io::Fstat(source.file.Get());
  // Some network and FUSE file systems cannot even tell about a file that
  // lost its name: it was replaced.
  if (!now) return std::unexpected(now.error() == ESTALE ? Failure::Of(Failure::Kind::Changed) : Failure::System(now.error()));
  if (!SameVersion(*now, source.st)) return std::unexpected(Failure::Of(Failure::Kind::Changed));
  return {};
}

bool SourceFile::Impl::NoWriter() const noexcept {
  if (leased) return ::fcntl(file.Get(), F_GETLEASE) == F_RDLCK;
  return FindWritersElsewhere(st.st_dev, st.st_ino) != WriterSearch::Found;
}

SourceFile::SourceFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
SourceFile::SourceFile(SourceFile&&) noexcept = default;
SourceFile& SourceFile::operator=(SourceFile&&) noexcept = default;
SourceFile::~SourceFile() = default;  // closing the file lets go of the lease

std::expected<SourceFile, Failure> SourceFile::Open(const fs::path& path, Action action) {
  if (path.empty()) return std::unexpected(Failure::System(ENOENT));
  auto impl = std::make_unique<Impl>();
  // What the name is, looked at without opening it: opening a FIFO or a
  // device can block or act. Links among the folders are followed by the
  // kernel, by its own rules.
  std::expected<struct stat, int> st = std::unexpected(0);
  struct stat named {};
  if (::lstat(path.c_str(), &named) != 0) return std::unexpected(Failure::System(errno));
  st = named;
  fs::path real = path;
  if (S_ISLNK(named.st_mode)) {
    // A link is followed by the kernel too (so one that another user
    // planted in a shared folder such as /tmp leads nowhere where
    // fs.protected_symlinks forbids it), and the file it leads to is
    // rewritten in its own folder.
    auto found = io::Open(path, O_PATH);
    if (!found) return std::unexpected(Failure::System(found.error()));
    st = io::Fstat(found->Get());
    if (!st) return std::unexpected(Failure::System(st.error()));
    auto resolved = io::FdPath(found->Get());
    if (!resolved) return std::unexpected(Failure::System(resolved.error()));
    real = *resolved;
  }
  std::error_code ec;
  real = fs::absolute(real, ec);
  if (ec) return std::unexpected(Failure::System(ec.value()));
  impl->folder = real.parent_path();
  impl->name = real.filename();
  auto dir = io::Open(impl->folder, O_RDONLY | O_DIRECTORY);
  if (!dir) return std::unexpected(Failure::System(dir.error()));
  impl->dir = std::move(*dir);
  struct statfs fsInfo {};
  if (::fstatfs(impl->dir.Get(), &fsInfo) == 0) impl->fsType = static_cast<long>(fsInfo.f_type);
  if (auto r = CheckFileOnDisk(*st, impl->fsType); !r) return std::unexpected(r.error());
  if (auto owner = OwnerCanBeKept(*st); !owner) return std::unexpected(owner.error());

  auto fd = io::OpenAt(impl->dir.Get(), impl->name.string(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW);
  if (!fd) return std::unexpected(Failure::System(fd.error()));
  impl->file = std::move(*fd);
  auto now = io::Fstat(impl->file.Get());
  if (!now) return std::unexpected(Failure::System(now.error()));
  if (!S_ISREG(now->st_mode) || now->st_ino != st->st_ino || now->st_dev != st->st_dev)
    return std::unexpected(Failure::Of(Failure::Kind::Changed));
  impl->st = *now;
  if (Locks(action) && impl->st.st_nlink > 1)
    return std::unexpected(Failure{Failure::Kind::HardLinks, 0, {}, impl->st.st_nlink - 1, {}});
  // Refused before any work: such a file, or any file in such a folder,
  // cannot be replaced, and what we wrote could not even be removed.
  impl->flags = InodeFlags::Of(impl->file.Get(), impl->dir.Get());
  if (auto r = Replaceable(impl->flags); !r) return std::unexpected(r.error());

  // Taken before the first byte is read and held until the new version is
  // in place: no one can have the file open for writing while we hold it,
  // and anyone who opens it for writing meanwhile breaks it.
  QuietLeaseSignal();
  if (::fcntl(impl->file.Get(), F_SETLEASE, F_RDLCK) == 0) {
    impl->leased = true;
  } else if (errno == EAGAIN || errno == EBUSY) {
    return std::unexpected(Failure::Of(Failure::Kind::OpenForWriting));
  } else {
    switch (FindWritersElsewhere(impl->st.st_dev, impl->st.st_ino)) {
      case WriterSearch::Found:
        return std::unexpected(Failure::Of(Failure::Kind::OpenForWriting));
      case WriterSearch::Incomplete:
        // The processes we may not look at are other users'. Without a
        // lease, we cannot know whether one of them writes another user's
        // file, and would lose what it writes.
        if (impl->st.st_uid != ::geteuid())
          return std::unexpected(Failure::Of(Failure::Kind::WritersUnknown));
        break;
      case WriterSearch::None:
        break;
    }
  }
  // Shared, and only for our own kind: for the instant the file is under a
  // working name of ours, another run's cleanup sees it is in use.
  (void)::flock(impl->file.Get(), LOCK_SH | LOCK_NB);
  impl->sparse = impl->st.st_blocks * 512 < impl->st.st_size;
  if (impl->st.st_size >= (1 << 20)) ::posix_fadvise(impl->file.Get(), 0, 0, POSIX_FADV_SEQUENTIAL);
  return SourceFile(std::move(impl));
}

std::uint64_t SourceFile::Size() const noexcept { return static_cast<std::uint64_t>(impl_->st.st_size); }
const fs::path& SourceFile::Folder() const noexcept { return impl_->folder; }
const fs::path& SourceFile::Name() const noexcept { return impl_->name; }

std::expected<std::size_t, Failure> SourceFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> buffer) {
  auto got = io::PreadFull(impl_->file.Get(), buffer, static_cast<off_t>(offset));
  if (!got) return std::unexpected(Failure::System(got.error()));
  return *got;
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
      if (now && static_cast<std::uint64_t>(now->st_size) < size)
        return std::unexpected(Failure::Of(Failure::Kind::Changed));
      return Extent{size, size};
    }
    return Extent{offset, size};                    // the system cannot tell: all data
  }
  if (static_cast<std::uint64_t>(data) >= size) return Extent{size, size};
  const off_t hole = ::lseek(fd, data, SEEK_HOLE);
  const std::uint64_t end = hole < 0 ? size : std::min<std::uint64_t>(static_cast<std::uint64_t>(hole), size);
  return Extent{static_cast<std::uint64_t>(data), end};
}

std::expected<void, Failure> SourceFile::CheckNoWriter() {
  if (impl_->leased && !impl_->NoWriter())
    return std::unexpected(Failure::Of(Failure::Kind::OpenForWriting));
  return {};
}

std::expected<void, Failure> SourceFile::CheckUnchanged() { return sealdoor::CheckUnchanged(*impl_); }

}  // namespace sealdoor
