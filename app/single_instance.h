#pragma once
#include <string>

namespace sealdoor::app {

// One copy of the window per user (per session on Windows): a lock held for
// the life of the process, which the system releases however the process
// ends, so a crash never blocks the next start, and which nothing in the
// file system stands for, so no cleaner or user deleting files can undo it.
// Where no lock can be had that only this user controls, the window runs
// rather than refuse.
//
// On Linux the lock is a local socket of a name no file holds (Linux's
// abstract names), one per user and runtime folder, on which the first copy
// listens for what later launches hand it. Only where that name is held by
// another user, or such sockets cannot be had, a lock file and a socket
// beside it in a private folder stand in.
class SingleInstance {
 public:
  // `name`: empty for the default place, else the stand-in lock's own path,
  // whose folder also stands for the runtime folder (tests).
  explicit SingleInstance(std::string name = {});
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // False when another copy holds the lock.
  [[nodiscard]] bool First() const noexcept { return first_; }
  // Where the first copy listens for later launches (Linux: a socket's
  // address, which starts with a NUL byte for an abstract name); empty where
  // there is none (and on Windows, where the session is the boundary).
  [[nodiscard]] const std::string& Address() const noexcept { return address_; }
  // The first copy's listening socket at Address(), for its server to take
  // in (a duplicate of it; this keeps its own); -1 where there is none.
  [[nodiscard]] int Listener() const noexcept { return listener_; }

 private:
  bool first_ = true;
  std::string address_;
  int listener_ = -1;
  long long handle_ = -1;  // the system's handle of the lock
};

}  // namespace sealdoor::app
