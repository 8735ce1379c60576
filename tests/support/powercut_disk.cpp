#include "powercut_disk.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "wait_for.h"

namespace sealdoor::test {
namespace fs = std::filesystem;

namespace {

bool IsMountPoint(const fs::path& p) {
  struct stat self {}, parent {};
  return ::stat(p.c_str(), &self) == 0 && ::stat(p.parent_path().c_str(), &parent) == 0 &&
         self.st_dev != parent.st_dev;
}

}  // namespace

std::optional<std::string> PowerCutDisk::Unavailable() {
#ifndef SEALDOOR_POWERCUT_FS
  return "powercut-fs was not built (libfuse3-dev missing)";
#else
  if (::access("/dev/fuse", R_OK | W_OK) != 0) return "no /dev/fuse here to mount a FUSE file system with";
  return std::nullopt;
#endif
}

PowerCutDisk::PowerCutDisk(std::vector<std::string> options) : options_(std::move(options)) {
  char tmpl[] = "/tmp/sealdoor-powercut-XXXXXX";
  root_ = ::mkdtemp(tmpl);
  disk_ = root_ / "disk";
  trash_ = root_ / "trash";
  mount_ = root_ / "mnt";
  fs::create_directories(disk_);
  fs::create_directories(trash_);
  fs::create_directories(mount_);
}

PowerCutDisk::~PowerCutDisk() {
  Cut();
  std::error_code ec;
  fs::remove_all(root_, ec);
}

bool PowerCutDisk::Start() {
#ifdef SEALDOOR_POWERCUT_FS
  if (pid_ > 0) return true;
  pid_ = ::fork();
  if (pid_ == 0) {
    std::vector<std::string> args{SEALDOOR_POWERCUT_FS};
    args.insert(args.end(), options_.begin(), options_.end());
    args.insert(args.end(), {disk_.string(), trash_.string(), mount_.string()});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  bool ended = false;
  const bool mounted = WaitFor([&] {
    if (IsMountPoint(mount_)) return true;
    ended = ::waitpid(pid_, &status, WNOHANG) == pid_;
    return ended;
  });
  if (ended) {
    pid_ = -1;
    std::fprintf(stderr, "powercut-fs ended before it was mounted (status %d)\n", status);
    return false;
  }
  if (mounted) return true;
  std::fprintf(stderr, "powercut-fs was not mounted within a minute\n");
  Cut();
#endif
  return false;
}

void PowerCutDisk::Cut() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  // Should a process still hold a file there, the mount is let go all the same.
  if (IsMountPoint(mount_)) {
    const std::string cmd = "fusermount3 -u -z '" + mount_.string() + "' 2>/dev/null";
    (void)!std::system(cmd.c_str());
  }
}

}  // namespace sealdoor::test
