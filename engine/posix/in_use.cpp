#include "engine/in_use.h"

#include "open_writers.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

namespace sealdoor {
namespace {

// A process of ours: the window (sealdoor) or the command line (sealdoor-cli).
bool IsSealdoor(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name == "sealdoor" || name == "sealdoor-cli";
}

// One lock as the kernel lists it, in /proc/locks and in a process's
// fdinfo alike: "1: FLOCK  ADVISORY  READ  1234 08:01:5678 0 EOF"; a
// waiting lock has "->" after the number, which shifts the fields by one.
struct ListedLock {
  long pid = 0;
  std::uint64_t device = 0, inode = 0;
};
std::optional<ListedLock> ReadLockLine(const std::string& line) {
  std::istringstream in(line);
  std::string number, kind, mode, access, where;
  ListedLock lock;
  in >> number >> kind;
  if (kind == "->") in >> kind;
  in >> mode >> access >> lock.pid >> where;
  if (!in || (kind != "FLOCK" && kind != "LEASE")) return std::nullopt;
  unsigned major = 0, minor = 0;
  unsigned long long inode = 0;
  if (std::sscanf(where.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) return std::nullopt;
  lock.device = static_cast<std::uint64_t>(makedev(major, minor));
  lock.inode = inode;
  return lock;
}

}  // namespace

// A run holds the file it works on with a shared flock and, on local file
// systems, a read lease; /proc/locks lists both with the holder's process
// and the file's device and number, without our having to touch the file.
FilesInUse FilesInUse::Now() {
  FilesInUse now;
  std::ifstream locks("/proc/locks");
  const long self = static_cast<long>(::getpid());
  for (std::string line; std::getline(locks, line);) {
    const auto lock = ReadLockLine(line);
    if (!lock || lock->pid == self || !IsSealdoor(lock->pid)) continue;
    now.held_.emplace(lock->device, lock->inode);
  }
  return now;
}

bool FilesInUse::Holds(const std::filesystem::path& file, const FileIdentity* known) const {
  if (held_.empty()) return false;
  FileIdentity id;
  if (known) {
    id = *known;
  } else {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0) return false;
    id = {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }
  const auto [device, inode] = id;
  if (held_.contains({device, inode})) return true;
  // Btrfs subvolumes and overlays show stat() a device number of their own
  // (major 0) where /proc/locks gives the file system's: the number decides.
  if (major(static_cast<dev_t>(device)) != 0) return false;
  for (const auto& [dev, ino] : held_)
    if (ino == inode) return true;
  return false;
}

bool HeldByAnotherRun(std::uint64_t device, std::uint64_t inode) {
  const FileIdentity id{device, inode};
  if (FilesInUse::Now().Holds({}, &id)) return true;
  // The kernel hands /proc/locks out a page at a time, each page a fresh
  // walk of the list: locks let go between two pages shift the rest, and
  // a line can be skipped. On a busy system (a batch taking and letting go
  // of hundreds of locks) that can be the very run that holds the file, so
  // the few processes of ours are asked too, by the locks on their open
  // files: read from their fdinfo, never by touching the files themselves
  // (a stalled network or FUSE mount would hang us there).
  namespace fs = std::filesystem;
  std::error_code ec;
  for (fs::directory_iterator process("/proc", ec), end; !ec && process != end; process.increment(ec)) {
    const std::string pid = process->path().filename().string();
    if (pid.empty() || !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) continue;
    const long number = std::stol(pid);
    if (number == static_cast<long>(::getpid()) || !IsSealdoor(number)) continue;
    // Gone meanwhile, or not ours to look into: nothing to learn there.
    std::error_code gone;
    for (fs::directory_iterator fd(process->path() / "fdinfo", gone); !gone && fd != end; fd.increment(gone)) {
      std::ifstream info(fd->path());
      for (std::string line; std::getline(info, line);) {
        if (!line.starts_with("lock:")) continue;
        const auto lock = ReadLockLine(line.substr(5));
        // As in Holds: a device of major 0 (a Btrfs subvolume, an overlay)
        // is not the one the kernel lists; the number decides.
        if (lock && lock->inode == inode && (lock->device == device || major(static_cast<dev_t>(device)) == 0))
          return true;
      }
    }
  }
  return false;
}

}  // namespace sealdoor
