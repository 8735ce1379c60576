#pragma once
#include <string>

namespace sealdoor::app {

// A per-user lock held for the life of the process. The system releases it
// when the process ends in any way, so a crash never blocks the next start.
class SingleInstance {
 public:
  // `lockFile`: empty for the default, in $XDG_RUNTIME_DIR or the
  // temporary folder.
  explicit SingleInstance(std::string lockFile = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // True when this process holds the lock: no other copy runs.
  [[nodiscard]] bool First() const noexcept { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

}  // namespace sealdoor::app
