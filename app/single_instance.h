#pragma once
#include <string>

namespace sealdoor::app {

// One copy of the window per user (per session on Windows): a lock held for
// the life of the process, which the system releases however the process
// ends, so a crash never blocks the next start. Where no lock can be had
// that only this user controls, the window runs rather than refuse.
class SingleInstance {
 public:
  // `name`: empty for the default place, else the lock's own path (tests).
  explicit SingleInstance(std::string name = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False when another copy holds the lock.
  [[nodiscard]] bool First() const noexcept { return first_; }
  // The private folder that holds the lock, where the first copy listens
  // for what later launches hand it; empty where there is none (and on
  // Windows, where the session is the boundary).
  [[nodiscard]] const std::string& Folder() const noexcept { return folder_; }

 private:
  bool first_ = true;
  std::string folder_;
  long long handle_ = -1;  // the system's handle of the lock
};

}  // namespace sealdoor::app
