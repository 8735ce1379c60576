#include "engine/replacement_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <string>
#include <utility>

#include "engine/batch_scope.h"
#include "engine/beside_name.h"
#include "engine/folder_journal.h"
#include "file_metadata.h"
#include "journal_store.h"
#include "source_impl.h"
#include "working_file_registry.h"

namespace sealdoor {
namespace {

// Start writing back every this many bytes, so the disk works while we go
// on and the final sync has little left to wait for. At most two such
// stretches are on their way to the disk at once: letting a working file
// go (a stop, a failure) waits for the pages being written, and so waits
// for little on a slow disk too.
constexpr std::uint64_t kWriteBackEvery = 8u << 20;
// Removing the former version again after a failure: a passing fault (a
// disk busy for a moment) gets another chance, a lasting one is told of.
constexpr int kRemoveTries = 3;

std::unexpected<Failure> SystemFailure(int err) { return std::unexpected(Failure::System(err)); }

bool Unsupported(const Failure& f) {
  return f.code == EINVAL || f.code == ENOSYS || f.code == EOPNOTSUPP;
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

// Folders whose sync waits for the end of the batch, by file system: the
// next sync of the whole file system carries their new names, and the
// batch ends with one. Only one folder of each is held open for it, so a
// batch through more folders than the process may have files open can
// still wait for each of them.
struct WaitingSyncs {
  dev_t device = 0;
  std::shared_ptr<Folder> by;             // its handle reaches the file system
  std::set<std::string> folders;           // as reached, for messages
};
std::vector<WaitingSyncs> gWaiting;

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
  // Exchanged with the original, which waits under `name` until Finish.
  bool exchanged = false;
  // The new version is in the file's place.
  bool placed = false;
  // Nothing of it is left to tidy (placed, kept beside or removed).
  bool done = false;
  std::uint64_t writtenTo = 0;
  std::uint64_t writeBackFrom = 0;
  std::uint64_t writingBackFrom = 0;  // the stretch started before, up to writeBackFrom
  std::uint64_t length = 0;  // the file's length so far: what was written or reserved

  int Dir() const noexcept { return source.Dir(); }
  const std::string Target() const { return source.name.string(); }

  void Name(std::string n) {
    name = std::move(n);
    ticket = RegisterWorkingFile(Dir(), name);
  }
  void Unname() {
    UnregisterWorkingFile(std::exchange(ticket, -1));
    name.clear();
  }

  std::expected<void, Failure> UseJournal() {
    if (journal) return {};
    auto j = FolderJournal::For(MakeJournalStore(source.folder));
    if (!j) return std::unexpected(j.error());
    journal = std::move(*j);
    return {};
  }

  // Gives a nameless working file the name `candidate`, never over an
  // existing file.
  io::Result LinkAs(const std::string& candidate) {
    const std::string self = "/proc/self/fd/" + std::to_string(file.Get());
    if (::linkat(AT_FDCWD, self.c_str(), Dir(), candidate.c_str(), AT_SYMLINK_FOLLOW) == 0) return {};
    if (errno == ENOENT && ::linkat(file.Get(), "", Dir(), candidate.c_str(), AT_EMPTY_PATH) == 0) return {};
    return SystemFailure(errno);
  }

  // A nameless working file gets its listed name just before it changes
  // places with the original: a run killed in that instant leaves a file
  // that a later run finds in the journal.
  std::expected<void, Failure> Link() {
    if (!name.empty()) return {};
    if (reserved.empty()) return SystemFailure(EINVAL);  // synced first, which lists the name
    auto linked = LinkAs(reserved);
    // Taken meanwhile (a name drawn by chance twice): another, on the disk first.
    for (int attempt = 0; !linked && linked.error().code == EEXIST && attempt < 100; ++attempt) {
      auto another = journal->Reserve();
      if (!another) return std::unexpected(another.error());
      reserved = std::move(*another);
      linked = LinkAs(reserved);
    }
    if (!linked) return linked;
    Name(std::exchange(reserved, {}));
    return {};
  }

  // Moves what stands under the working name beside the file, as the
  // first free of `base`, "base (2)"...: listed first, so that if the move
  // fails a later run makes it, and never removes it.
  std::expected<std::string, Failure> MoveBeside(const std::string& base) {
    if (auto r = journal->Note(journal::KeepRecord(name, Target(), base)); !r) return std::unexpected(r.error());
    for (int n = 1; n <= kMostBeside; ++n) {
      const std::string beside = BesideName(base, n);
      auto moved = io::RenameNoReplace(Dir(), name, beside);
      if (moved) {
        Unname();
        return beside;
      }
      if (moved.error().code != EEXIST) return std::unexpected(moved.error());
    }
    return SystemFailure(EEXIST);
  }

  // What stands under the working name must stay for the user and could
  // not be moved beside: it stays hidden, and the journal stays with it so
  // that the next run in the folder moves it (never removes it).
  void LeaveHidden() {
    journal->LeaveForLaterRun();
    UnregisterWorkingFile(std::exchange(ticket, -1));
    done = true;
  }

  // A copy kept beside a file that changed is never more open than the
  // file is now, nor than it was: the narrower of the two modes, and no
  // access list (whose group entries could reach further). Where it cannot
  // be narrowed it is not kept.
  std::expected<void, Failure> Narrow() {
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
      if (::fremovexattr(file.Get(), "system.posix_acl_access") != 0 && errno != ENODATA && errno != EOPNOTSUPP)
        return SystemFailure(errno);
      mode &= 0700;
    }
    return io::Fchmod(file.Get(), mode);
  }

  // Removes the former version, which waits under the working name, now
  // that the new one is in place. Where it will not go, the journal keeps
  // naming it, so the next run in the folder removes it.
  std::expected<void, Failure> RemoveFormer() {
    int err = 0;
    for (int attempt = 0; attempt < kRemoveTries; ++attempt) {
      const auto removed = io::UnlinkAt(Dir(), name);
      if (removed || removed.error().code == ENOENT) {
        Unname();
        done = true;
        return {};
      }
      err = removed.error().code;
    }
    const std::string hidden = name;
    LeaveHidden();
    return std::unexpected(Failure{Failure::Kind::NotTidied, err, {}, 0, hidden});
  }
};

ReplacementFile::ReplacementFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ReplacementFile::ReplacementFile(ReplacementFile&&) noexcept = default;

ReplacementFile::~ReplacementFile() { Close(); }

bool ReplacementFile::Placed() const noexcept { return impl_->placed; }

void ReplacementFile::Close() noexcept {
  if (!impl_) return;
  Impl& w = *impl_;
  if (!w.done && !w.name.empty()) {
    // The former version of a finished exchange, or a new version that
    // never took its place: either goes. One that will not is left to the
    // journal, which a later run replays.
    if (w.exchanged) {
      (void)w.RemoveFormer();  // what will not go is left to the journal
    } else if (auto r = io::UnlinkAt(w.Dir(), w.name); !r && r.error().code != ENOENT) {
      w.LeaveHidden();
    }
  }
  w.Unname();
  w.done = true;
  w.file = io::UniqueFd();
  w.journal.reset();  // the last file it listed is gone: so is the journal
}

std::expected<ReplacementFile, Failure> ReplacementFile::Create(SourceFile& source) {
  auto impl = std::make_unique<Impl>(Impl{source.Internals(), {}, {}, {}, {}});
  FileSystemFacts& facts = *impl->source.folder->facts;
  // No name at all: a run that dies leaves nothing behind. A file system
  // that has no such files is asked once.
  if (facts.namelessFiles != false) {
    std::expected<io::UniqueFd, Failure> fd = std::unexpected(Failure::System(io::Injected(io::Op::NamelessFile)));
    if (fd.error().code == 0) fd = io::OpenAt(impl->Dir(), ".", O_TMPFILE | O_WRONLY, 0600);
    if (fd) {
      facts.namelessFiles = true;
      impl->file = std::move(*fd);
    } else if (fd.error().code == EOPNOTSUPP || fd.error().code == EISDIR || fd.error().code == EINVAL) {
      facts.namelessFiles = false;
    } else {
      return std::unexpected(fd.error());
    }
  }
  if (!impl->file.Valid()) {
    // A name of ours, listed in the journal and on the disk before the
    // file exists, never over an existing file or through a link.
    if (auto r = impl->UseJournal(); !r) return std::unexpected(r.error());
    auto made = impl->journal->MakeNamed([&](const std::string& name) -> std::expected<void, Failure> {
      auto named = io::OpenAt(impl->Dir(), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
      if (!named) return std::unexpected(named.error());
      impl->file = std::move(*named);
      return {};
    });
    if (!made) return std::unexpected(made.error());
    impl->Name(std::move(*made));
  }
  // Held for as long as we live: another run's cleanup removes only files
  // whose lock it can take. A fresh file's lock is ours to take; a system
  // that refuses it could not keep that cleanup away.
  if (::flock(impl->file.Get(), LOCK_EX | LOCK_NB) != 0) return SystemFailure(errno);
  // Flags that only an empty file takes (no copy-on-write on Btrfs).
  if (auto r = CopyEarlyInodeFlags(impl->source.flags, impl->file.Get()); !r) return std::unexpected(r.error());
  return ReplacementFile(std::move(impl));
}

std::expected<void, Failure> ReplacementFile::Reserve(std::uint64_t offset, std::uint64_t length) {
  if (auto r = io::Allocate(impl_->file.Get(), static_cast<off_t>(offset), static_cast<off_t>(length)); !r) return r;
  impl_->length = std::max(impl_->length, offset + length);
  return {};
}

std::expected<void, Failure> ReplacementFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  const int fd = impl_->file.Get();
  if (auto r = io::PwriteAll(fd, bytes, static_cast<off_t>(offset)); !r) return r;
  impl_->writtenTo = std::max(impl_->writtenTo, offset + bytes.size());
  impl_->length = std::max(impl_->length, impl_->writtenTo);
  if (impl_->writtenTo - impl_->writeBackFrom >= kWriteBackEvery) {
    // Starting the write-back is only a head start for the disk; where it
    // is refused, the final sync still writes everything.
    (void)::sync_file_range(fd, static_cast<off_t>(impl_->writeBackFrom),
                            static_cast<off_t>(impl_->writtenTo - impl_->writeBackFrom), SYNC_FILE_RANGE_WRITE);
    // Waiting for it, though, takes the report of a failed write: the
    // kernel tells a failed write-back once, and the final sync would then
    // say all is well. So its failure is the file's failure.
    if (impl_->writeBackFrom > impl_->writingBackFrom &&
        ::sync_file_range(fd, static_cast<off_t>(impl_->writingBackFrom),
                          static_cast<off_t>(impl_->writeBackFrom - impl_->writingBackFrom),
                          SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER) != 0 &&
        errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != ESPIPE)
      return SystemFailure(errno);
    impl_->writingBackFrom = impl_->writeBackFrom;
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
  return CopyFileMetadata(src.file.Get(), src.st, src.flags, *src.folder, impl_->file.Get());
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
        result[same[k]] = names.error();
    }
  }
  std::vector<bool> done(files.size(), false);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (done[i]) continue;
    const Impl& first = *files[i]->impl_;
    const dev_t device = first.source.st.st_dev;
    std::vector<std::size_t> same;
    for (std::size_t j = i; j < files.size(); ++j)
      if (!done[j] && files[j]->impl_->source.st.st_dev == device) same.push_back(j);
    // One sync of the whole file system, where it is known to reach the
    // disk: a journaling file system commits once for all (a file alone
    // syncs itself for less). A failing one is told of by each file's own
    // sync after it.
    const bool whole = same.size() > 1 && first.source.folder->syncFsTrusted && io::SyncFs(first.file.Get());
    for (const std::size_t j : same) {
      done[j] = true;
      Impl& w = *files[j]->impl_;
      if (whole) {
        if (w.journal) w.journal->MarkSynced();
      } else if (!result[j]) {
        if (auto r = io::Fsync(w.file.Get()); !r) result[j] = r.error();
      }
    }
    if (whole) continue;
    for (const std::size_t j : same) {
      Impl& w = *files[j]->impl_;
      if (result[j] || !w.journal || w.journal->Synced()) continue;
      if (auto r = w.journal->Sync(); !r) result[j] = r.error();
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
  FileSystemFacts& facts = *src.folder->facts;
  // Nothing slow from here on: the check and the exchange follow each other.
  if (auto r = CheckUnchanged(src); !r) return r;
  if (auto r = w.Link(); !r) return r;

  const std::string target = w.Target();
  if (src.leased && facts.exchange != false) {
    // Exchanged rather than renamed, so that what it replaced can be looked
    // at before it goes: it must be the very file we read, else the
    // exchange is undone and their file is back. Whether somebody opened it
    // for writing in the last moment is looked at once the whole group is
    // in place (Finish).
    if (auto r = ExchangeInto(w.Dir(), target, w.name); r) {
      facts.exchange = true;
      struct stat replaced {};
      if (::fstatat(w.Dir(), w.name.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 &&
          replaced.st_dev == src.st.st_dev && replaced.st_ino == src.st.st_ino) {
        // The original waits under our name, still held, until Finish.
        w.exchanged = true;
        w.placed = true;
        return {};
      }
      if (ExchangeInto(w.Dir(), target, w.name)) return std::unexpected(Failure::Of(Failure::Kind::Changed));
      // Another program's file came in that instant and could not be given
      // its place back: ours is in it, theirs goes beside, never away.
      w.placed = true;
      auto kept = w.MoveBeside(target + std::string(kOtherSuffix));
      if (kept) {
        w.done = true;
        return std::unexpected(Failure{Failure::Kind::OtherVersionKept, 0, {}, 0, *kept});
      }
      const std::string hidden = w.name;
      w.LeaveHidden();
      return std::unexpected(Failure{Failure::Kind::OtherVersionHidden, kept.error().code, {}, 0, hidden});
    } else if (!Unsupported(r.error())) {
      return r;
    }
    facts.exchange = false;
  }
  if (auto r = io::RenameAt(w.Dir(), w.name, target); !r) return r;
  w.Unname();
  w.placed = true;
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
    if (ExchangeInto(w.Dir(), w.Target(), w.name)) {
      w.placed = false;
      // The original is in its place again either way; only a power cut
      // could still bring back our version, which goes with this object.
      (void)io::Fsync(w.Dir());
      return std::unexpected(Failure::Of(Failure::Kind::OpenForWriting));
    }
    // Not given back: the version the writer has open must not go. Ours
    // stays in place, theirs beside it.
    auto kept = w.MoveBeside(w.Target() + std::string(kOriginalSuffix));
    if (kept) {
      w.done = true;
      return std::unexpected(Failure{Failure::Kind::LateWriterKept, 0, {}, 0, *kept});
    }
    const std::string hidden = w.name;
    w.LeaveHidden();
    return std::unexpected(Failure{Failure::Kind::LateWriterHidden, kept.error().code, {}, 0, hidden});
  }
  return w.RemoveFormer();
}

std::expected<void, Failure> ReplacementFile::SyncFolder(bool canWait) noexcept {
  const std::shared_ptr<Folder>& folder = impl_->source.folder;
  // The next sync of the whole file system carries the new names too, and
  // the batch ends with one: a folder of many groups is synced once.
  if (canWait && folder->syncFsTrusted && BatchScope::Active()) {
    try {
      auto fs = std::find_if(gWaiting.begin(), gWaiting.end(),
                             [&](const WaitingSyncs& w) { return w.device == folder->st.st_dev; });
      if (fs == gWaiting.end()) fs = gWaiting.insert(gWaiting.end(), WaitingSyncs{folder->st.st_dev, folder, {}});
      fs->folders.insert(folder->path);
      return {};
    } catch (...) {
      // No memory to note it in: synced now instead.
    }
  }
  return io::Fsync(folder->dir.Get());
}

std::vector<FolderSyncFailure> ReplacementFile::SyncWaitingFolders() noexcept {
  std::vector<FolderSyncFailure> failed;
  for (const WaitingSyncs& fs : std::exchange(gWaiting, {})) {
    if (io::SyncFs(fs.by->dir.Get())) continue;
    // Which of them did not reach the disk: each on its own.
    for (const std::string& path : fs.folders) {
      io::Result r;
      if (path == fs.by->path)
        r = io::Fsync(fs.by->dir.Get());
      else if (auto dir = io::Open(path, O_RDONLY | O_DIRECTORY))
        r = io::Fsync(dir->Get());
      else
        r = std::unexpected(dir.error());
      if (!r) failed.push_back({path, r.error()});
    }
  }
  return failed;
}

std::expected<std::string, Failure> ReplacementFile::KeepBeside(const std::string& suffix) {
  Impl& w = *impl_;
  if (auto r = w.Narrow(); !r) return std::unexpected(r.error());
  const std::string base = w.Target() + suffix;
  for (int n = 1; n <= kMostBeside; ++n) {
    const std::string name = BesideName(base, n);
    // Never over an existing file: that could be the very version we keep
    // this one beside. A nameless file gets the name at once.
    auto kept = w.name.empty() ? w.LinkAs(name) : io::RenameNoReplace(w.Dir(), w.name, name);
    if (kept) {
      w.Unname();
      w.done = true;
      // The copy is whole either way; only a power cut could lose its name.
      (void)io::Fsync(w.Dir());
      return name;
    }
    if (kept.error().code != EEXIST) return std::unexpected(kept.error());
  }
  return SystemFailure(EEXIST);
}

}  // namespace sealdoor
