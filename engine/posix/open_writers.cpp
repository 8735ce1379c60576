#include "open_writers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sealdoor {
namespace {

bool IsNumber(const char* s) noexcept {
  if (*s == '\0') return false;
  for (; *s; ++s)
    if (*s < '0' || *s > '9') return false;
  return true;
}

// The access mode from /proc/PID/fdinfo/FD ("flags:\t0100002").
bool WritableDescriptor(int procDir, const char* fd) noexcept {
  char path[300];
  std::snprintf(path, sizeof path, "fdinfo/%s", fd);
  const int info = ::openat(procDir, path, O_RDONLY | O_CLOEXEC);
  if (info < 0) return false;
  char text[512];
  const ssize_t n = ::read(info, text, sizeof text - 1);
  ::close(info);
  if (n <= 0) return false;
  text[n] = '\0';
  const char* flags = std::strstr(text, "flags:");
  if (!flags) return false;
  const long value = std::strtol(flags + 6, nullptr, 8);
  return (value & O_ACCMODE) != O_RDONLY;
}

}  // namespace

bool OpenForWritingElsewhere(dev_t device, ino_t inode) noexcept {
  DIR* proc = ::opendir("/proc");
  if (!proc) return false;
  bool found = false;
  while (const dirent* p = ::readdir(proc)) {
    if (!IsNumber(p->d_name)) continue;
    const int procDir = ::openat(::dirfd(proc), p->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procDir < 0) continue;
    const int fdDir = ::openat(procDir, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* fds = fdDir >= 0 ? ::fdopendir(fdDir) : nullptr;
    if (!fds && fdDir >= 0) ::close(fdDir);
    while (fds && !found) {
      const dirent* f = ::readdir(fds);
      if (!f) break;
      if (!IsNumber(f->d_name)) continue;
      struct stat st {};
      if (::fstatat(::dirfd(fds), f->d_name, &st, 0) != 0) continue;
      if (st.st_dev == device && st.st_ino == inode && WritableDescriptor(procDir, f->d_name)) found = true;
    }
    if (fds) ::closedir(fds);
    ::close(procDir);
    if (found) break;
  }
  ::closedir(proc);
  return found;
}

}  // namespace sealdoor
