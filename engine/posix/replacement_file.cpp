#include "engine/replacement_file.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "file_metadata.h"
#include "folder_journal.h"
#include "source_impl.h"
#include "working_file_registry.h"

namespace sealdoor {
namespace {

// Start writing back every this many bytes, so the disk works while we go
// on and the final sync has little left to wait for.
constexpr std::uint64_t kWriteBackEvery = 8u << 20;

std::unexpected<Failure> SystemFailure(int err) { return std::unexpected(Failure::System(err)); }

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

// Exchanges the files under two names of the folder. Folder watchers hear
// an exchange as two moves: from the first name given to the second, then
// from the second back to the first. GIO's folder monitors (Nautilus, Nemo,
// Caja) pair each and keep the last word: had the user's name come second,
// its file would end "moved away to our working name" and drop out of their
// views until a reload. Given first, its name ends with a move into it, and
// the file stays in view. The same single system call either way.
io::Result ExchangeInto(int dir, const std::string& users, const std::string& ours) {
  return io::RenameAt(dir, users, ours, RENAME_EXCHANGE);
}

}  // namespace

struct ReplacementFile::Impl {
  SourceFile::Impl& source;
  io::UniqueFd file;
  // This process's journal in the folder, which lists every name below
  // before a file of that name exists.
  std::shared_ptr<FolderJournal> journal;
  // The working file's name in the folder: empty while it has none (made
  // with O_TMPFILE), else one of ours, listed and locked.
  std::string name;
  // The name a nameless working file takes for its exchange.
  std::string reserved;
  int ticket = -1;  // in the interrupt registry while it has a name
  bool done = false;
  // Exchanged with the original, which waits under `name` until Finish.
  bool exchanged = false;
  std::uint64_t writtenTo = 0;
  std::uint64_t writeBackFrom = 0;
  std::uint64_t length = 0;  // the file's length so far: what was written or reserved

  int Dir() const noexcept { return source.dir.Get(); }

  void Name(std::string n) {
    name = std::move(n);
    ticket = RegisterWorkingFile(Dir(), name);
  }
  void Unname() {
    UnregisterWorkingFile(ticket);
    ticket = -1;
    name.clear();
  }

  std::expected<void, Failure> UseJournal() {
    if (journal) return {};
    auto j = FolderJournal::For(Dir());
    if (!j) return SystemFailure(j.error());
    journal = std::move(*j);
    return {};
  }

  // Gives a nameless working file the name `candidate`; never over an
  // existing file (EEXIST).
  int LinkAs(const std::string& candidate) {
    const std::string self = "/proc/self/fd/" + std::to_string(file.Get());
    int r = ::linkat(AT_FDCWD, self.c_str(), Dir(), candidate.c_str(), AT_SYMLINK_FOLLOW);
    if (r != 0 && errno == ENOENT) r = ::linkat(file.Get(), "", Dir(), candidate.c_str(), AT_EMPTY_PATH);
    return r == 0 ? 0 : errno;
  }

  // A nameless working file gets its listed name just before it changes
  // places with the original: a run killed in that instant leaves a file
  // that a later run finds in the journal.
  std::expected<void, Failure> Link() {
    if (!name.empty()) return {};
    if (reserved.empty()) return SystemFailure(EINVAL);  // synced first, which lists the name
    int err = LinkAs(reserved);
    // Taken meanwhile (a name drawn by chance twice): another, on the disk first.
    for (int attempt = 0; err == EEXIST && attempt < 100; ++attempt) {
      auto another = journal->Reserve();
      if (!another) return SystemFailure(another.error());
      reserved = std::move(*another);
      err = LinkAs(reserved);
    }
    if (err != 0) return SystemFailure(err);
    Name(std::exchange(reserved, {}));
    return {};
  }

  // A copy kept beside a file that changed is never more open than the
  // file is now, nor than it was: the narrower of the two modes, and no
  // access list (whose group entries could reach further).
  void Narrow() {
    struct stat now {};
    mode_t mode = source.st.st_mode & 0777;
    const bool exists = ::fstatat(Dir(), source.name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0;
    if (exists) mode &= now.st_mode;
    bool lists = ::fgetxattr(file.Get(), "system.posix_acl_access", nullptr, 0) >= 0;
    if (exists) {
      // An access list on the file now, or one we cannot look at.
      auto current = io::OpenAt(Dir(), source.name.string(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
      if (!current || ::fgetxattr(current->Get(), "system.posix_acl_access", nullptr, 0) >= 0) lists = true;
    }
    if (lists) {
      (void)::fremovexattr(file.Get(), "system.posix_acl_access");
      mode &= 0700;
    }
    (void)io::Fchmod(file.Get(), mode);
  }
};

ReplacementFile::ReplacementFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ReplacementFile::ReplacementFile(ReplacementFile&&) noexcept = default;

ReplacementFile::~ReplacementFile() { Close(); }

void ReplacementFile::Close() noexcept {
  if (!impl_) return;
  Impl& w = *impl_;
  // An exchange not yet finished is finished here: the original that waits
  // under our name has its new version in its place.
  if (!w.done && !w.name.empty()) ::unlinkat(w.Dir(), w.name.c_str(), 0);
  w.Unname();
  w.done = true;
  w.file = io::UniqueFd();
  w.journal.reset();  // the last file it listed is gone: so is the journal
}

std::expected<ReplacementFile, Failure> ReplacementFile::Create(SourceFile& source) {
  auto impl = std::make_unique<Impl>(Impl{source.Internals(), {}, {}, {}, {}, -1, false, false, 0, 0, 0});
  // No name at all: a run that dies leaves nothing behind.
  std::expected<io::UniqueFd, int> fd = std::unexpected(io::Injected(io::Op::NamelessFile));
  if (fd.error() == 0) fd = io::OpenAt(impl->Dir(), ".", O_TMPFILE | O_WRONLY, 0600);
  if (fd) {
    impl->file = std::move(*fd);
    // Held while we live: a cleanup by another run leaves alone what a
    // running process holds, also in the instant the file has a name.
    (void)::flock(impl->file.Get(), LOCK_SH | LOCK_NB);
  } else {
    if (fd.error() != EOPNOTSUPP && fd.error() != EISDIR && fd.error() != EINVAL) return SystemFailure(fd.error());
    // A file system without nameless files: a name of ours, listed in the
    // journal and on the disk before the file exists, never over an
    // existing file or through a link.
    if (auto r = impl->UseJournal(); !r) return std::unexpected(r.error());
    for (int attempt = 0;; ++attempt) {
      auto name = impl->journal->Reserve();
      if (!name) return SystemFailure(name.error());
      auto named = io::OpenAt(impl->Dir(), *name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
      if (!named) {
        if (named.error() == EEXIST && attempt < 100) continue;
        return SystemFailure(named.error());
      }
      impl->file = std::move(*named);
      impl->Name(std::move(*name));
      // Held for as long as we live: another run's cleanup removes only
      // files whose lock it can take.
      (void)::flock(impl->file.Get(), LOCK_EX);
      break;
    }
  }
  // Flags that only an empty file takes (no copy-on-write on Btrfs).
  if (auto r = CopyEarlyInodeFlags(impl->source.flags, impl->file.Get()); !r) return std::unexpected(r.error());
  return ReplacementFile(std::move(impl));
}

std::expected<void, Failure> ReplacementFile::Reserve(std::uint64_t offset, std::uint64_t length) {
  if (auto r = io::Allocate(impl_->file.Get(), static_cast<off_t>(offset), static_cast<off_t>(length)); !r)
    return SystemFailure(r.error());
  impl_->length = std::max(impl_->length, offset + length);
  return {};
}

std::expected<void, Failure> ReplacementFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  const int fd = impl_->file.Get();
  if (auto r = io::PwriteAll(fd, bytes, static_cast<off_t>(offset)); !r) return SystemFailure(r.error());
  impl_->writtenTo = std::max(impl_->writtenTo, offset + bytes.size());
  impl_->length = std::max(impl_->length, impl_->writtenTo);
  if (impl_->writtenTo - impl_->writeBackFrom >= kWriteBackEvery) {
    // Errors show in the final sync.
    (void)::sync_file_range(fd, static_cast<off_t>(impl_->writeBackFrom),
                            static_cast<off_t>(impl_->writtenTo - impl_->writeBackFrom), SYNC_FILE_RANGE_WRITE);
    impl_->writeBackFrom = impl_->writtenTo;
  }
  return {};
}

std::expected<void, Failure> ReplacementFile::SetSize(std::uint64_t size) {
  // Mostly the length is right already; a file ending in a hole is not.
  if (size == impl_->length) return {};
  if (::ftruncate(impl_->file.Get(), static_cast<off_t>(size)) != 0) return SystemFailure(errno);
  impl_->length = size;
  return {};
}

std::expected<void, Failure> ReplacementFile::Prepare() {
  const auto& src = impl_->source;
  return CopyFileMetadata(src.file.Get(), src.st, src.flags, impl_->file.Get());
}

std::vector<std::optional<Failure>> ReplacementFile::SyncAll(std::span<ReplacementFile* const> files) {
  std::vector<std::optional<Failure>> result(files.size());
  // The names the nameless ones take for their exchange are listed first,
  // so that they are on the disk with everything else; one record of all
  // of them for each folder.
  for (std::size_t i = 0; i < files.size(); ++i) {
    Impl& w = *files[i]->impl_;
    if (!w.name.empty() || !w.reserved.empty()) continue;
    if (auto r = w.UseJournal(); !r) {
      result[i] = r.error();
      continue;
    }
    std::vector<std::size_t> same{i};
    for (std::size_t j = i + 1; j < files.size(); ++j) {
      Impl& o = *files[j]->impl_;
      if (!o.name.empty() || !o.reserved.empty() || result[j] || o.source.folder != w.source.folder) continue;
      if (!o.journal) o.journal = w.journal;
      if (o.journal == w.journal) same.push_back(j);
    }
    auto names = w.journal->ReserveUnsynced(same.size());
    for (std::size_t k = 0; k < same.size(); ++k) {
      if (names)
        files[same[k]]->impl_->reserved = std::move((*names)[k]);
      else
        result[same[k]] = Failure::System(names.error());
    }
  }
  auto syncEach = [&](std::size_t i) {
    if (result[i]) return;
    if (auto r = io::Fsync(files[i]->impl_->file.Get()); !r) result[i] = Failure::System(r.error());
  };
  std::vector<bool> done(files.size(), false);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (done[i]) continue;
    const Impl& first = *files[i]->impl_;
    const dev_t device = first.source.st.st_dev;
    std::vector<std::size_t> same;
    for (std::size_t j = i; j < files.size(); ++j)
      if (!done[j] && files[j]->impl_->source.st.st_dev == device) same.push_back(j);
    // One sync of the whole file system, where it is known to reach the
    // disk: a journaling file system commits once for all.
    bool whole = false;
    if (same.size() > 1 && SyncFsIsTrusted(first.source.fsType)) {
      whole = static_cast<bool>(io::SyncFs(first.file.Get()));
    }
    for (const std::size_t j : same) {
      done[j] = true;
      Impl& w = *files[j]->impl_;
      if (whole) {
        if (w.journal) w.journal->MarkSynced();
        continue;
      }
      // Each file on its own; a failing sync of the whole file system is
      // told of by the file whose own sync fails.
      syncEach(j);
    }
    if (whole) continue;
    for (const std::size_t j : same) {
      Impl& w = *files[j]->impl_;
      if (result[j] || !w.journal || w.journal->Synced()) continue;
      if (auto r = w.journal->Sync(); !r) result[j] = Failure::System(r.error());
    }
    // A file whose journal could not be synced, for another file of it.
    for (const std::size_t j : same) {
      Impl& w = *files[j]->impl_;
      if (!result[j] && w.journal && !w.journal->Synced()) result[j] = Failure::System(EIO);
    }
  }
  return result;
}

std::expected<void, Failure> ReplacementFile::Commit() {
  Impl& w = *impl_;
  SourceFile::Impl& src = w.source;
  // Nothing slow from here on: the check and the exchange follow each other.
  if (auto r = CheckUnchanged(src); !r) return r;
  if (auto r = w.Link(); !r) return r;

  const std::string target = src.name.string();
  if (src.leased) {
    // Exchanged rather than renamed, so that what it replaced can be looked
    // at before it goes: it must be the very file we read, else the
    // exchange is undone and their file is back. Whether somebody opened it
    // for writing in the last moment is looked at once the whole group is
    // in place (Finish).
    if (auto r = ExchangeInto(w.Dir(), target, w.name); r) {
      struct stat replaced {};
      if (::fstatat(w.Dir(), w.name.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) != 0 ||
          replaced.st_dev != src.st.st_dev || replaced.st_ino != src.st.st_ino) {
        (void)ExchangeInto(w.Dir(), target, w.name);
        return std::unexpected(Failure::ChangedMeanwhile());
      }
      // The original waits under our name, still held, until Finish.
      w.exchanged = true;
      return {};
    } else if (r.error() != EINVAL && r.error() != ENOSYS && r.error() != EOPNOTSUPP) {
      return SystemFailure(r.error());
    }
  }
  if (auto r = io::RenameAt(w.Dir(), w.name, target); !r) return SystemFailure(r.error());
  w.Unname();
  w.done = true;
  return {};
}

std::expected<void, Failure> ReplacementFile::Finish() {
  Impl& w = *impl_;
  if (!w.exchanged) return {};
  w.exchanged = false;
  // A writer that found the original before the exchange (held up, say, by
  // a virus scanner between finding the file and opening it) is held in
  // its open by our lease until we let go, and would then write into the
  // original after it left its place. It has its file back instead.
  if (!w.source.NoWriter()) {
    if (ExchangeInto(w.Dir(), w.source.name.string(), w.name)) {
      (void)io::Fsync(w.Dir());
      return std::unexpected(Failure::OpenForWriting());
    }
  }
  ::unlinkat(w.Dir(), w.name.c_str(), 0);  // the former version
  w.Unname();
  w.done = true;
  return {};
}

std::expected<void, Failure> ReplacementFile::SyncFolder() noexcept {
  if (auto r = io::Fsync(impl_->Dir()); !r) return SystemFailure(r.error());
  return {};
}

std::expected<std::string, Failure> ReplacementFile::KeepBeside(const std::string& suffix) {
  Impl& w = *impl_;
  w.Narrow();
  const std::string base = w.source.name.string() + suffix;
  for (int n = 1; n < 100; ++n) {
    const std::string name = n == 1 ? base : base + " (" + std::to_string(n) + ")";
    // Never over an existing file: that could be the very version we keep
    // this one beside. A nameless file gets the name at once.
    const int err = w.name.empty() ? w.LinkAs(name) : io::RenameNoReplace(w.Dir(), w.name, name);
    if (err == 0) {
      w.Unname();
      w.done = true;
      (void)io::Fsync(w.Dir());
      return name;
    }
    if (err != EEXIST) return SystemFailure(err);
  }
  return SystemFailure(EEXIST);
}

}  // namespace sealdoor
