#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <vector>

#include "engine/journal.h"
#include "engine/replacement_file.h"
#include "engine/temp_names.h"
#include "file_metadata.h"
#include "posix_io.h"
#include "source_impl.h"

namespace sealdoor {
namespace {

// Journals are small; anything larger is not one of ours.
constexpr off_t kMaxJournal = 4 << 20;

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
    return io::RenameNoReplace(dir_, from, to) == 0;
  }

 private:
  int dir_;
};

// A journal of a run that is no longer running: replayed, then removed.
void ReplayDeadJournal(int dir, const std::string& name) {
  auto fd = TakeOurs(dir, name);
  if (!fd) return;
  const auto st = io::Fstat(fd->Get());
  if (!st || st->st_size > kMaxJournal) return;
  // Killed between making its journal and writing the first line: it
  // lists nothing, and it holds nothing that could be lost.
  if (st->st_size == 0) {
    ::unlinkat(dir, name.c_str(), 0);
    return;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st->st_size));
  auto got = io::PreadFull(fd->Get(), bytes, 0);
  if (!got) return;
  const auto contents = journal::Parse(std::string_view(reinterpret_cast<const char*>(bytes.data()), *got));
  if (!contents) return;  // a user's file that merely has such a name
  PosixFolder folder(dir);
  journal::Replay(*contents, folder);
  (void)io::Fsync(dir);
  ::unlinkat(dir, name.c_str(), 0);
}

// Left by earlier versions, which had no journal: a working file marked by
// an extended attribute, and an original exchanged out of its place under
// a name that gives its own file number.
bool IsEarlierLeftover(int dir, const std::string& name) {
  if (const auto replaced = ReplacedInode(name)) {
    if (name.substr(kWorkingPrefix.size() + 1).starts_with('0')) return false;
    const auto fd = TakeOurs(dir, name);
    const auto st = fd ? io::Fstat(fd->Get()) : std::unexpected(EBADF);
    return st && st->st_ino == *replaced;
  }
  if (!IsWorkingFileName(name)) return false;
  const auto fd = TakeOurs(dir, name);
  char mark[64] = {};
  return fd && ::fgetxattr(fd->Get(), kWorkingFileMark, mark, sizeof mark - 1) > 0;
}

}  // namespace

void RemoveLeftoverWorkingFiles(SourceFile& source) noexcept {
  const int dir = source.Internals().dir.Get();
  const std::filesystem::path& folder = source.Folder();
  // Once per folder and process: a batch of many files in one folder must
  // not read the folder again for every file.
  // A folder is known by its device, inode and birth time: the inode of a
  // deleted folder may come back for a new one.
  struct statx sx {};
  if (::statx(dir, "", AT_EMPTY_PATH, STATX_INO | STATX_BTIME, &sx) != 0) return;
  const auto key = std::make_tuple(sx.stx_dev_major, sx.stx_dev_minor, sx.stx_ino, sx.stx_btime.tv_sec,
                                   sx.stx_btime.tv_nsec, folder.string());
  static std::mutex mutex;
  static std::set<std::remove_const_t<decltype(key)>> seen;
  {
    const std::lock_guard lock(mutex);
    if (!seen.insert(key).second) return;
  }
  const int dfd = ::dup(dir);
  if (dfd < 0) return;
  DIR* d = ::fdopendir(dfd);
  if (!d) {
    ::close(dfd);
    return;
  }
  std::vector<std::string> ours;
  while (const dirent* e = ::readdir(d))
    if (std::string_view(e->d_name).starts_with(kWorkingPrefix)) ours.emplace_back(e->d_name);
  ::closedir(d);
  try {
    for (const auto& name : ours)
      if (IsJournalName(name)) ReplayDeadJournal(dir, name);
    for (const auto& name : ours)
      if (IsEarlierLeftover(dir, name)) ::unlinkat(dir, name.c_str(), 0);
  } catch (...) {
    // Cleaning up after others must never stop our own work.
  }
}

}  // namespace sealdoor
