#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <random>
#include <string>
#include <thread>

#include "engine/folder_journal.h"
#include "posix_io.h"

namespace sealdoor {
namespace {

SipKey FreshKey() {
  SipKey key{};
  std::random_device rd;
  for (auto& b : key) b = static_cast<std::uint8_t>(rd());
  return key;
}

// $XDG_STATE_HOME/sealdoor, else ~/.local/state/sealdoor: state a program
// keeps for its user between runs.
std::string KeyFolder() {
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/') return std::string(state) + "/sealdoor";
  if (const char* home = std::getenv("HOME"); home && *home == '/') return std::string(home) + "/.local/state/sealdoor";
  return {};
}

bool MakeFolders(const std::string& path) {
  for (std::size_t at = 1; at != std::string::npos;) {
    at = path.find('/', at + 1);
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  return true;
}

SipKey LoadOrMakeKey() {
  const std::string folder = KeyFolder();
  if (folder.empty() || !MakeFolders(folder)) return FreshKey();
  const std::string file = folder + "/journal-key";
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (auto fd = io::Open(file, O_RDONLY | O_NOFOLLOW)) {
      // The user's own, and no one else's to read, or never trusted.
      auto st = io::Fstat(fd->Get());
      if (!st || !S_ISREG(st->st_mode) || st->st_uid != ::geteuid() || (st->st_mode & 077) != 0) return FreshKey();
      SipKey key{};
      auto got = io::ReadFull(fd->Get(), key);
      if (!got) return FreshKey();
      if (*got == key.size()) return key;
      // Another run is writing it this moment.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    } else if (fd.error().code != ENOENT) {
      return FreshKey();
    }
    const SipKey fresh = FreshKey();
    auto fd = io::Open(file, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (!fd) {
      if (fd.error().code == EEXIST) continue;  // made by another run meanwhile
      return FreshKey();
    }
    if (io::WriteAll(fd->Get(), fresh) && io::Fsync(fd->Get())) return fresh;
    ::unlink(file.c_str());
    return FreshKey();
  }
  return FreshKey();
}

}  // namespace

const SipKey& JournalKey() {
  static const SipKey key = LoadOrMakeKey();
  return key;
}

}  // namespace sealdoor
