#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace sealdoor::app {
namespace {

// A folder only this user may write in: ours, and writable by no one else.
bool OursAlone(const std::string& folder) {
  struct stat st {};
  return ::lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// $XDG_RUNTIME_DIR, else our folder in the user's cache; empty when neither
// is a folder only we control (another user must not be able to hold the
// lock and keep the window from starting).
std::string LockFolder() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime && OursAlone(runtime)) return runtime;
  std::string cache;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && *xdg && xdg[0] == '/')
    cache = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    cache = std::string(home) + "/.cache";
  if (cache.empty()) return {};
  ::mkdir(cache.c_str(), 0700);
  const std::string ours = cache + "/sealdoor";
  ::mkdir(ours.c_str(), 0700);
  return OursAlone(ours) ? ours : std::string();
}

}  // namespace

SingleInstance::SingleInstance(std::string name) {
  if (name.empty()) {
    const std::string folder = LockFolder();
    if (folder.empty()) return;  // nowhere safe: run
    name = folder + "/sealdoor.lock";
  }
  const int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0) return;  // no lock to be had: better to run twice than not at all
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) {
    ::close(fd);  // not a lock of ours: it proves nothing about another copy
    return;
  }
  folder_ = name.substr(0, name.find_last_of('/') + 1);
  if (folder_.size() > 1) folder_.pop_back();
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    first_ = false;
    return;
  }
  handle_ = fd;
}

SingleInstance::~SingleInstance() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace sealdoor::app
