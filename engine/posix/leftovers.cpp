#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>
#include <mutex>
#include <set>
#include <tuple>
#include <type_traits>
#include <utility>

#include "engine/replacement_file.h"
#include "engine/temp_names.h"
#include "file_metadata.h"
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

// A working file is proven ours by its name, its owner, our mark and a lock
// nobody holds; a user's file that merely looks like one has no mark.
bool IsOurLeftover(int dir, const char* name, int fd) {
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) return false;  // a running process holds it
  char mark[64] = {};
  const ssize_t n = ::fgetxattr(fd, kWorkingFileMark, mark, sizeof mark - 1);
  return n > 0 && StillUnderName(dir, name, fd);
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
  // Every name and file number in the folder: an exchange name proves
  // itself against them.
  std::vector<std::pair<std::string, ino_t>> entries;
  while (const dirent* e = ::readdir(d)) entries.emplace_back(e->d_name, e->d_ino);
  ::closedir(d);
  const uid_t me = ::geteuid();
  for (const auto& [name, ino] : entries) {
    const auto replaced = ReplacedInode(name);
    if (!IsWorkingFileName(name) && !replaced) continue;
    struct stat entry {};
    if (::fstatat(dir, name.c_str(), &entry, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (!S_ISREG(entry.st_mode) || entry.st_uid != me) continue;
    auto fd = io::OpenAt(dir, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
    if (!fd) continue;
    bool ours = false;
    if (replaced) {
      // A new version that was about to change places with file N, while N
      // is still here under its own name; or file N itself, changed out of
      // its place, whose new version is in it.
      ours = entry.st_ino == *replaced ||
             std::any_of(entries.begin(), entries.end(), [&](const auto& other) {
               return other.first != name && other.second == *replaced;
             });
      ours = ours && ::flock(fd->Get(), LOCK_EX | LOCK_NB) == 0 && StillUnderName(dir, name.c_str(), fd->Get());
    } else {
      ours = IsOurLeftover(dir, name.c_str(), fd->Get());
    }
    if (ours) ::unlinkat(dir, name.c_str(), 0);
  }
}

}  // namespace sealdoor
