// A library to preload into sealdoor-cli (LD_PRELOAD) that makes one kind of
// system call fail as a failing disk would, where the engine's own fault
// hook does not reach: in the C library's calls themselves.
//
//   SEALDOOR_FAULT=CALL:ERRNO[:N][,CALL:ERRNO[:N]...]
//                                   CALL fails with ERRNO on its Nth call
//                                   (1 when not given; "*" for every call)
//   SEALDOOR_FAULT_REPORT=FILE      how many calls were made to fail, written
//                                   to FILE when the process ends
//
// CALL is one of fsync, fdatasync, syncfs, sync_file_range (only where it
// waits, and so reports), write, pwrite, fallocate, renameat2, renameat,
// rename, linkat, unlinkat, ioctl. Writes fail only to
// regular files, never to the terminal or a pipe; ioctl only where it reads
// a file's flags (chattr's and the project). ERRNO is EIO, ENOSPC, EDQUOT or
// EROFS.

#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct Plan {
  char call[32] = {};
  int error = 0;
  long nth = 1;  // 0: every call
  std::atomic<long> calls{0};
};

constexpr int kMaxPlans = 4;
std::atomic<long> gInjected{0};
std::atomic<bool> gQuiet{false};  // while the report is written

Plan* ThePlans() {
  static Plan plans[kMaxPlans];
  static const bool parsed = [] {
    const char* spec = std::getenv("SEALDOOR_FAULT");
    for (int i = 0; spec && *spec && i < kMaxPlans; ++i) {
      Plan& p = plans[i];
      char error[32] = {};
      char nth[32] = {};
      std::sscanf(spec, "%31[^:,]:%31[^:,]:%31[^,]", p.call, error, nth);
      p.error = std::strcmp(error, "EIO") == 0      ? EIO
                : std::strcmp(error, "ENOSPC") == 0 ? ENOSPC
                : std::strcmp(error, "EDQUOT") == 0 ? EDQUOT
                : std::strcmp(error, "EROFS") == 0  ? EROFS
                                                    : 0;
      if (nth[0] == '*') p.nth = 0;
      else if (nth[0] != '\0') p.nth = std::atol(nth);
      spec = std::strchr(spec, ',');
      if (spec) ++spec;
    }
    return true;
  }();
  (void)parsed;
  return plans;
}

// Whether this call of `call` is to fail (errno set).
bool Fails(const char* call) {
  if (gQuiet.load()) return false;
  for (int i = 0; i < kMaxPlans; ++i) {
    Plan& p = ThePlans()[i];
    if (p.error == 0 || std::strcmp(p.call, call) != 0) continue;
    const long n = ++p.calls;
    if (p.nth != 0 && n != p.nth) return false;
    ++gInjected;
    errno = p.error;
    return true;
  }
  return false;
}

bool RegularFile(int fd) {
  struct stat st {};
  return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

template <typename F>
F Next(const char* name) {
  return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

struct Report {
  ~Report() {
    const char* file = std::getenv("SEALDOOR_FAULT_REPORT");
    if (!file) return;
    gQuiet = true;
    if (FILE* out = std::fopen(file, "w")) {
      std::fprintf(out, "%ld\n", gInjected.load());
      std::fclose(out);
    }
  }
} gReport;

}  // namespace

extern "C" {

int fsync(int fd) {
  if (Fails("fsync")) return -1;
  return Next<int (*)(int)>("fsync")(fd);
}

int fdatasync(int fd) {
  if (Fails("fdatasync")) return -1;
  return Next<int (*)(int)>("fdatasync")(fd);
}

int syncfs(int fd) {
  if (Fails("syncfs")) return -1;
  return Next<int (*)(int)>("syncfs")(fd);
}

int sync_file_range(int fd, off_t at, off_t length, unsigned int flags) {
  if ((flags & SYNC_FILE_RANGE_WAIT_AFTER) != 0 && Fails("sync_file_range")) return -1;
  return Next<int (*)(int, off_t, off_t, unsigned int)>("sync_file_range")(fd, at, length, flags);
}

ssize_t write(int fd, const void* buf, size_t n) {
  if (RegularFile(fd) && Fails("write")) return -1;
  return Next<ssize_t (*)(int, const void*, size_t)>("write")(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) {
  if (RegularFile(fd) && Fails("pwrite")) return -1;
  return Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, buf, n, at);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t at) {
  if (RegularFile(fd) && Fails("pwrite")) return -1;
  return Next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite64")(fd, buf, n, at);
}

int fallocate(int fd, int mode, off_t at, off_t length) {
  if (Fails("fallocate")) return -1;
  return Next<int (*)(int, int, off_t, off_t)>("fallocate")(fd, mode, at, length);
}

int fallocate64(int fd, int mode, off_t at, off_t length) {
  if (Fails("fallocate")) return -1;
  return Next<int (*)(int, int, off_t, off_t)>("fallocate64")(fd, mode, at, length);
}

int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned flags) {
  if (Fails("renameat2")) return -1;
  return Next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2")(from_dir, from, to_dir, to, flags);
}

int renameat(int from_dir, const char* from, int to_dir, const char* to) {
  if (Fails("renameat")) return -1;
  return Next<int (*)(int, const char*, int, const char*)>("renameat")(from_dir, from, to_dir, to);
}

int rename(const char* from, const char* to) {
  if (Fails("rename")) return -1;
  return Next<int (*)(const char*, const char*)>("rename")(from, to);
}

int unlinkat(int dir, const char* name, int flags) {
  if (Fails("unlinkat")) return -1;
  return Next<int (*)(int, const char*, int)>("unlinkat")(dir, name, flags);
}

int ioctl(int fd, unsigned long request, void* arg) {
  if ((request == FS_IOC_GETFLAGS || request == FS_IOC_FSGETXATTR) && Fails("ioctl")) return -1;
  return Next<int (*)(int, unsigned long, void*)>("ioctl")(fd, request, arg);
}

int linkat(int from_dir, const char* from, int to_dir, const char* to, int flags) {
  if (Fails("linkat")) return -1;
  return Next<int (*)(int, const char*, int, const char*, int)>("linkat")(from_dir, from, to_dir, to, flags);
}

}  // extern "C"
