#include "engine/replacement_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "engine/temp_names.h"
#include "file_metadata.h"
#include "source_impl.h"
#include "working_file_registry.h"

namespace sealdoor {
namespace {

constexpr const char* kMarkValue = "sealdoor working file";

// Start writing back every this many bytes, so the disk works while we go
// on and the final sync has little left to wait for.
constexpr std::uint64_t kWriteBackEvery = 8u << 20;

std::unexpected<Failure> SystemFailure(int err) { return std::unexpected(Failure::System(err)); }

}  // namespace

struct ReplacementFile::Impl {
  SourceFile::Impl& source;
  SystemRandom random;  // its own: the file may outlive the engine object that made it
  io::UniqueFd file;
  // The working file's name in the folder: empty while it has none (made
  // with O_TMPFILE), else a name of ours, marked and locked.
  std::string name;
  int ticket = -1;  // in the interrupt registry while it has a name
  bool done = false;
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

  // Gives a nameless working file the name `candidate`; never over an
  // existing file (EEXIST).
  int LinkAs(const std::string& candidate) {
    const std::string self = "/proc/self/fd/" + std::to_string(file.Get());
    int r = ::linkat(AT_FDCWD, self.c_str(), Dir(), candidate.c_str(), AT_SYMLINK_FOLLOW);
    if (r != 0 && errno == ENOENT) r = ::linkat(file.Get(), "", Dir(), candidate.c_str(), AT_EMPTY_PATH);
    return r == 0 ? 0 : errno;
  }

  // Gives a nameless working file a name, just before it changes places
  // with the original: one that tells which file it replaces, so a run
  // killed in that instant leaves nothing a later run cannot prove ours.
  std::expected<void, Failure> Link() {
    if (!name.empty()) return {};
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate = ExchangeName(static_cast<std::uint64_t>(source.st.st_ino), random);
      const int err = LinkAs(candidate);
      if (err == 0) {
        Name(std::move(candidate));
        return {};
      }
      if (err != EEXIST) return SystemFailure(err);
    }
    return SystemFailure(EEXIST);
  }
};

ReplacementFile::ReplacementFile(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ReplacementFile::ReplacementFile(ReplacementFile&&) noexcept = default;

ReplacementFile::~ReplacementFile() {
  if (!impl_) return;
  if (!impl_->done && !impl_->name.empty()) ::unlinkat(impl_->Dir(), impl_->name.c_str(), 0);
  UnregisterWorkingFile(impl_->ticket);
}

std::expected<ReplacementFile, Failure> ReplacementFile::Create(SourceFile& source) {
  auto impl = std::make_unique<Impl>(Impl{source.Internals(), {}, {}, {}, -1, false, 0, 0});
  // No name at all: a run that dies leaves nothing behind.
  std::expected<io::UniqueFd, int> fd = std::unexpected(io::Injected(io::Op::NamelessFile));
  if (fd.error() == 0) fd = io::OpenAt(impl->Dir(), ".", O_TMPFILE | O_WRONLY, 0600);
  if (fd) {
    impl->file = std::move(*fd);
    // Held while we live: a cleanup by another run leaves alone what a
    // running process holds, also in the instant the file has a name.
    (void)::flock(impl->file.Get(), LOCK_SH | LOCK_NB);
    return ReplacementFile(std::move(impl));
  }
  if (fd.error() != EOPNOTSUPP && fd.error() != EISDIR && fd.error() != EINVAL) return SystemFailure(fd.error());
  // A file system without nameless files: a hidden name of ours, drawn
  // until free, never over an existing file or through a link.
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = std::string(kWorkingPrefix) + DrawTempFileName(impl->random);
    auto named = io::OpenAt(impl->Dir(), name, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (!named) {
      if (named.error() == EEXIST) continue;
      return SystemFailure(named.error());
    }
    impl->file = std::move(*named);
    impl->Name(std::move(name));
    // Held for as long as we live, then marked: a cleanup by another run
    // removes only marked files whose lock it can take.
    (void)::flock(impl->file.Get(), LOCK_EX);
    (void)::fsetxattr(impl->file.Get(), kWorkingFileMark, kMarkValue, std::char_traits<char>::length(kMarkValue), 0);
    return ReplacementFile(std::move(impl));
  }
  return SystemFailure(EEXIST);
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
  return CopyFileMetadata(src.file.Get(), src.st, impl_->file.Get());
}

std::vector<std::optional<Failure>> ReplacementFile::SyncAll(std::span<ReplacementFile* const> files) {
  std::vector<std::optional<Failure>> result(files.size());
  auto syncEach = [&](std::size_t i) {
    if (auto r = io::Fsync(files[i]->impl_->file.Get()); !r) result[i] = Failure::System(r.error());
  };
  if (files.size() == 1) {
    syncEach(0);
    return result;
  }
  // One sync per file system: a file system's journal commits once for all.
  std::vector<bool> done(files.size(), false);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (done[i]) continue;
    const dev_t device = files[i]->impl_->source.st.st_dev;
    const auto r = io::SyncFs(files[i]->impl_->file.Get());
    for (std::size_t j = i; j < files.size(); ++j) {
      if (done[j] || files[j]->impl_->source.st.st_dev != device) continue;
      done[j] = true;
      // Which file a failing sync of the whole file system was about, each
      // file's own sync tells.
      if (!r) syncEach(j);
    }
  }
  return result;
}

std::expected<void, Failure> ReplacementFile::Commit() {
  Impl& w = *impl_;
  SourceFile::Impl& src = w.source;
  // Nothing slow from here on: the check and the exchange follow each other.
  if (auto r = CheckUnchanged(src); !r) return r;
  if (!w.name.empty()) (void)::fremovexattr(w.file.Get(), kWorkingFileMark);  // it travels no further
  if (auto r = w.Link(); !r) return r;

  const std::string target = src.name.string();
  if (src.leased) {
    // Exchanged rather than renamed, so that what it replaced can be looked
    // at before it goes: it must be the very file we read, and nobody may
    // have opened that for writing in the last moment (such a writer is
    // held up in its open until we let go, and then writes into whatever it
    // opened). Otherwise the exchange is undone, and their file is back.
    if (auto r = io::RenameAt(w.Dir(), w.name, target, RENAME_EXCHANGE); r) {
      struct stat replaced {};
      const bool ours = ::fstatat(w.Dir(), w.name.c_str(), &replaced, AT_SYMLINK_NOFOLLOW) == 0 &&
                        replaced.st_dev == src.st.st_dev && replaced.st_ino == src.st.st_ino;
      const bool written = !src.NoWriter();
      if (!ours || written) {
        (void)io::RenameAt(w.Dir(), w.name, target, RENAME_EXCHANGE);
        return std::unexpected(written ? Failure::OpenForWriting() : Failure::ChangedMeanwhile());
      }
      ::unlinkat(w.Dir(), w.name.c_str(), 0);  // the former version
      w.Unname();
      w.done = true;
    } else if (r.error() != EINVAL && r.error() != ENOSYS && r.error() != EOPNOTSUPP) {
      return SystemFailure(r.error());
    }
  }
  if (!w.done) {
    if (auto r = io::RenameAt(w.Dir(), w.name, target); !r) return SystemFailure(r.error());
    w.Unname();
    w.done = true;
  }
  return {};
}

// The new version is in place; a failing folder sync cannot undo that, and
// the file is whole either way.
void ReplacementFile::SyncFolder() noexcept { (void)io::Fsync(impl_->Dir()); }

std::expected<std::string, Failure> ReplacementFile::KeepBeside(const std::string& suffix) {
  Impl& w = *impl_;
  const std::string base = w.source.name.string() + suffix;
  if (!w.name.empty()) (void)::fremovexattr(w.file.Get(), kWorkingFileMark);
  for (int n = 1; n < 100; ++n) {
    const std::string name = n == 1 ? base : base + " (" + std::to_string(n) + ")";
    // Never over an existing file: that could be the very version we keep
    // this one beside. A nameless file gets the name at once.
    const int err = w.name.empty() ? w.LinkAs(name)
                    : ::renameat2(w.Dir(), w.name.c_str(), w.Dir(), name.c_str(), RENAME_NOREPLACE) == 0 ? 0
                                                                                                          : errno;
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
