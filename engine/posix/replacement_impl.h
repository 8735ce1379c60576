#pragma once
// What a working file is, shared by the files that make, fill, sync and
// place it (replacement_file.cpp, replacement_sync.cpp).

#include <fcntl.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <expected>
#include <memory>
#include <string>

#include "engine/beside_name.h"
#include "engine/folder_journal.h"
#include "engine/replacement_file.h"
#include "file_metadata.h"
#include "journal_store.h"
#include "posix_io.h"
#include "source_impl.h"
#include "working_file_registry.h"

namespace sealdoor {

// Removing the former version again after a failure: a passing fault (a
// disk busy for a moment) gets another chance, a lasting one is told of.
inline constexpr int kRemoveTries = 3;

inline std::unexpected<Failure> SystemFailure(int err) { return std::unexpected(Failure::System(err)); }

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

}  // namespace sealdoor
