#include "single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>

namespace sealdoor::app {

SingleInstance::SingleInstance(std::string lockFile) {
  if (lockFile.empty()) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime)
      lockFile = std::string(runtime) + "/sealdoor.lock";
    else
      lockFile = "/tmp/sealdoor-" + std::to_string(::getuid()) + ".lock";
  }
  const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    // No place for a lock: better to run twice than not at all.
    fd_ = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    return;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return;
  }
  fd_ = fd;
}

SingleInstance::~SingleInstance() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace sealdoor::app
