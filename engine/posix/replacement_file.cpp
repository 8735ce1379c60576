#include "engine/replacement_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <utility>

#include "engine/beside_name.h"
#include "engine/folder_journal.h"
#include "file_metadata.h"
#include "journal_store.h"
#include "replacement_impl.h"
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

}  // namespace

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
