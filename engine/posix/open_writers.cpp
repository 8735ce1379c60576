#include "open_writers.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
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

// Whether the process's open files include the file, open for writing;
// false with `complete` cleared when we may not look.
bool WritesThroughDescriptor(int procDir, dev_t device, ino_t inode, bool& complete) noexcept {
  const int fdDir = ::openat(procDir, "fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fdDir < 0) {
    if (errno == EACCES || errno == EPERM) complete = false;
    return false;
  }
  DIR* fds = ::fdopendir(fdDir);
  if (!fds) {
    ::close(fdDir);
    return false;
  }
  bool found = false;
  while (!found) {
    const dirent* f = ::readdir(fds);
    if (!f) break;
    if (!IsNumber(f->d_name)) continue;
    struct stat st {};
    if (::fstatat(::dirfd(fds), f->d_name, &st, 0) != 0) continue;
    if (st.st_dev == device && st.st_ino == inode && WritableDescriptor(procDir, f->d_name)) found = true;
  }
  ::closedir(fds);
  return found;
}

// Whether the process has the file mapped shared and writable: it can
// write it with no descriptor open ("7f..-7f.. rw-s 00000000 08:01 1234 /path").
bool WritesThroughMapping(int procDir, dev_t device, ino_t inode, bool& complete) noexcept {
  const int maps = ::openat(procDir, "maps", O_RDONLY | O_CLOEXEC);
  if (maps < 0) {
    if (errno == EACCES || errno == EPERM) complete = false;
    return false;
  }
  FILE* in = ::fdopen(maps, "r");
  if (!in) {
    ::close(maps);
    return false;
  }
  bool found = false;
  char line[4096];
  while (!found && std::fgets(line, sizeof line, in)) {
    char perms[8] = {};
    unsigned major = 0, minor = 0;
    std::uintmax_t ino = 0;
    if (std::sscanf(line, "%*x-%*x %7s %*x %x:%x %ju", perms, &major, &minor, &ino) != 4) continue;
    if (perms[1] == 'w' && perms[3] == 's' && ino == inode && ::makedev(major, minor) == device) found = true;
  }
  std::fclose(in);
  return found;
}

}  // namespace

WriterSearch FindWritersElsewhere(dev_t device, ino_t inode) noexcept {
  DIR* proc = ::opendir("/proc");
  if (!proc) return WriterSearch::Incomplete;
  bool found = false;
  bool complete = true;
  while (const dirent* p = ::readdir(proc)) {
    if (!IsNumber(p->d_name)) continue;
    const int procDir = ::openat(::dirfd(proc), p->d_name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procDir < 0) continue;
    found = WritesThroughDescriptor(procDir, device, inode, complete) ||
            WritesThroughMapping(procDir, device, inode, complete);
    ::close(procDir);
    if (found) break;
  }
  ::closedir(proc);
  if (found) return WriterSearch::Found;
  return complete ? WriterSearch::None : WriterSearch::Incomplete;
}

}  // namespace sealdoor
