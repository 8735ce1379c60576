#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "engine/folder_journal.h"
#include "engine/journal.h"
#include "engine/replacement_file.h"
#include "engine/temp_names.h"
#include "posix_io.h"
#include "source_impl.h"

namespace sealdoor {
namespace {

// The file we opened is still the one under that name.
bool StillUnderName(int dir, const char* name, int fd) {
  struct stat named {};
  const auto held = io::Fstat(fd);
  if (!held || ::fstatat(dir, name, &named, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return named.st_ino == held->st_ino && named.st_dev == held->st_dev;
}

// A plain file of ours under `name` that no running process holds, open
// and locked; nothing otherwise.
std::optional<io::UniqueFd> TakeOurs(int dir, const std::string& name) {
  struct stat entry {};
  if (::fstatat(dir, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) return std::nullopt;
  if (!S_ISREG(entry.st_mode) || entry.st_uid != ::geteuid()) return std::nullopt;
  auto fd = io::OpenAt(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (!fd) return std::nullopt;
  if (::flock(fd->Get(), LOCK_EX | LOCK_NB) != 0) return std::nullopt;  // a running process holds it
  if (!StillUnderName(dir, name.c_str(), fd->Get())) return std::nullopt;
  return std::move(*fd);
}

// The folder as a dead run's journal sees it: only names of ours, only
// files nobody holds.
class PosixFolder final : public journal::Folder {
 public:
  explicit PosixFolder(int dir) : dir_(dir) {}
  bool Exists(const std::string& name) override {
    struct stat st {};
    return ::fstatat(dir_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }
  bool Remove(const std::string& name) override {
    if (!IsWorkingFileName(name)) return false;
    const auto held = TakeOurs(dir_, name);
    return held && ::unlinkat(dir_, name.c_str(), 0) == 0;
  }
  bool Rename(const std::string& from, const std::string& to) override {
    if (!IsWorkingFileName(from) || !TakeOurs(dir_, from)) return false;
    return static_cast<bool>(io::RenameNoReplace(dir_, from, to));
  }

 private:
  int dir_;
};

// Every name the journal lists.
std::vector<std::string> Listed(const journal::Contents& c) {
  std::vector<std::string> names = c.working;
  for (const auto& b : c.backups) names.push_back(b.backup);
  for (const auto& k : c.keep) names.push_back(k.name);
  return names;
}

// A journal of a run that is no longer running: replayed, then removed
// once nothing it lists is left. Only a journal that is the user's own and
// has no other name (no second name of another file, written to through
// that one) is read at all; and only its records signed for this folder
// and this journal count.
std::vector<journal::KeptBeside> ReplayDeadJournal(Folder& folder, const std::string& name) {
  const int dir = folder.dir.Get();
  auto fd = TakeOurs(dir, name);
  if (!fd) return {};
  const auto st = io::Fstat(fd->Get());
  if (!st || st->st_nlink != 1 || st->st_size > static_cast<off_t>(journal::kMaxBytes))
    return {};
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st->st_size));
  auto got = io::PreadFull(fd->Get(), bytes, 0);
  if (!got) return {};
  const std::string_view text(reinterpret_cast<const char*>(bytes.data()), *got);
  // Killed between making its journal and listing anything in it: it holds
  // nothing that could be lost.
  if (journal::HoldsNothing(text)) {
    ::unlinkat(dir, name.c_str(), 0);  // or by the next run
    return {};
  }
  const journal::Signer signer{JournalKey(), folder.Id(), name};
  const auto contents = journal::Parse(text, signer);
  if (!contents) return {};  // a user's file that merely has such a name
  const std::vector<std::string> listed = Listed(*contents);
  // Nothing in it proves it ours: a file that merely looks like a journal.
  if (listed.empty()) return {};
  PosixFolder ops(dir);
  auto kept = journal::Replay(*contents, ops);
  for (const auto& each : listed)
    if (ops.Exists(each)) return kept;  // held, or would not go: the next run tries again
  // Gone only once what it did is on the disk: a power cut must not bring
  // back the journal's files without the journal.
  if (io::Fsync(dir)) ::unlinkat(dir, name.c_str(), 0);  // or by the next run
  return kept;
}

// Left by earlier versions, which had no journal: an original exchanged out
// of its place under a name that gives its own file number (which no copy
// of it has).
bool IsEarlierLeftover(int dir, const std::string& name) {
  const auto replaced = ReplacedInode(name);
  if (!replaced || name.substr(kWorkingPrefix.size() + 1).starts_with('0')) return false;
  const auto fd = TakeOurs(dir, name);
  if (!fd) return false;
  const auto st = io::Fstat(fd->Get());
  return st && st->st_ino == *replaced && st->st_nlink == 1;
}

}  // namespace

std::vector<Notice> RemoveLeftoverWorkingFiles(SourceFile& source) noexcept {
  Folder& folder = *source.Internals().folder;
  // Once per folder and batch: a batch of many files in one folder must
  // not read the folder again for every file.
  if (folder.leftoversLookedAt) return {};
  folder.leftoversLookedAt = true;
  std::vector<Notice> notices;
  try {
    const int dir = folder.dir.Get();
    const int dfd = ::fcntl(dir, F_DUPFD_CLOEXEC, 0);
    if (dfd < 0) return {};
    DIR* d = ::fdopendir(dfd);
    if (!d) {
      ::close(dfd);
      return {};
    }
    std::vector<std::string> ours;
    while (const dirent* e = ::readdir(d))
      if (std::string_view(e->d_name).starts_with(kWorkingPrefix)) ours.emplace_back(e->d_name);
    ::closedir(d);
    for (const auto& name : ours) {
      if (!IsJournalName(name)) continue;
      for (const auto& kept : ReplayDeadJournal(folder, name))
        notices.push_back(Notice::LeftByEarlierRunAt(source.Folder() / kept.target, source.Folder() / kept.kept));
    }
    for (const auto& name : ours)
      if (IsEarlierLeftover(dir, name)) ::unlinkat(dir, name.c_str(), 0);  // or by the next run
  } catch (...) {
    // Cleaning up after others must never stop our own work.
  }
  return notices;
}

}  // namespace sealdoor
