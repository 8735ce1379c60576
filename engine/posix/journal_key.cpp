#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "engine/key_file.h"
#include "posix_io.h"

namespace sealdoor {
namespace {

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

class PosixKeyFile final : public KeyFile {
 public:
  explicit PosixKeyFile(std::string path) : path_(std::move(path)) {}

  Read Load(SipKey& key) override {
    auto fd = io::Open(path_, O_RDONLY | O_NOFOLLOW);
    if (!fd) return fd.error().code == ENOENT ? Read::Missing : Read::Refused;
    // The user's own, and no one else's to read, or never trusted.
    auto st = io::Fstat(fd->Get());
    if (!st || !S_ISREG(st->st_mode) || st->st_uid != ::geteuid() || (st->st_mode & 077) != 0) return Read::Refused;
    auto got = io::ReadFull(fd->Get(), key);
    if (!got) return Read::Refused;
    return *got == key.size() ? Read::Got : Read::Partial;
  }

  Made Create(const SipKey& key) override {
    auto fd = io::Open(path_, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, 0600);
    if (!fd) return fd.error().code == EEXIST ? Made::Exists : Made::Failed;
    if (io::WriteAll(fd->Get(), key) && io::Fsync(fd->Get())) return Made::Made;
    ::unlink(path_.c_str());
    return Made::Failed;
  }

 private:
  std::string path_;
};

}  // namespace

std::unique_ptr<KeyFile> OpenKeyFile() {
  const std::string folder = KeyFolder();
  if (folder.empty() || !MakeFolders(folder)) return nullptr;
  return std::make_unique<PosixKeyFile>(folder + "/journal-key");
}

}  // namespace sealdoor
