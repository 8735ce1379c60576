#include "app/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

namespace sealdoor::app {
namespace {

using namespace std::chrono_literals;

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

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int Get() const noexcept { return fd_; }
  int Release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::uint64_t Fnv1a(const std::string& text) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : text) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  return h;
}

// The lock's name: the user and the runtime folder (as named; a test or a
// second session of the same user names another), hashed, since a path may
// be longer than a socket's name.
std::string AbstractName(const std::string& runtime) {
  char name[64];
  std::snprintf(name, sizeof name, "sealdoor.%u.%016llx", static_cast<unsigned>(::geteuid()),
                static_cast<unsigned long long>(Fnv1a(runtime)));
  return std::string(1, '\0') + name;
}

socklen_t Fill(sockaddr_un& address, const std::string& name) {
  address = {};
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, name.data(), name.size());
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + name.size());
}

enum class Outcome { Won, Ours, Unavailable };

// Binds the name (we are first), or finds the copy of our user that holds
// it. The name may be held by another user (anyone may bind any abstract
// name), or be between a copy's bind and its listen, or be let go while we
// look: a short while of trying sorts these out.
Outcome TakeName(const std::string& name, int& listener) {
  sockaddr_un address{};
  const socklen_t length = Fill(address, name);
  const auto until = std::chrono::steady_clock::now() + 2s;
  for (;;) {
    Fd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (s.Get() < 0) return Outcome::Unavailable;
    if (::bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
      if (::listen(s.Get(), SOMAXCONN) != 0) return Outcome::Unavailable;
      listener = s.Release();
      return Outcome::Won;
    }
    if (errno != EADDRINUSE) return Outcome::Unavailable;  // no abstract names here
    Fd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (probe.Get() < 0) return Outcome::Unavailable;
    const timeval patience{0, 200'000};  // a listener whose queue is full does not hold us
    ::setsockopt(probe.Get(), SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    if (::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0) {
      ucred peer{};
      socklen_t size = sizeof peer;
      const bool ours = ::getsockopt(probe.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 &&
                        peer.uid == ::geteuid();
      return ours ? Outcome::Ours : Outcome::Unavailable;
    }
    if (std::chrono::steady_clock::now() >= until) return Outcome::Unavailable;
    std::this_thread::sleep_for(10ms);
  }
}

}  // namespace

SingleInstance::SingleInstance(std::string name) {
  std::string runtime;
  if (name.empty()) {
    if (const char* r = std::getenv("XDG_RUNTIME_DIR")) runtime = r;
  } else {
    runtime = name.substr(0, name.find_last_of('/'));
  }
  switch (TakeName(AbstractName(runtime), listener_)) {
    case Outcome::Won:
      address_ = AbstractName(runtime);
      return;
    case Outcome::Ours:
      first_ = false;
      address_ = AbstractName(runtime);
      return;
    case Outcome::Unavailable:
      break;
  }

  // The stand-in: a lock file and a socket beside it, in a folder only we
  // may write in. Both carry the sticky bit, which tells the system's
  // cleaning of the runtime folder (files unused for 6 hours) to leave them.
  if (name.empty()) {
    const std::string folder = LockFolder();
    if (folder.empty()) return;  // nowhere safe: run
    name = folder + "/sealdoor.lock";
  }
  Fd fd(::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600));
  if (fd.Get() < 0) return;  // no lock to be had: better to run twice than not at all
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid())
    return;  // not a lock of ours: it proves nothing about another copy
  const std::string socket = name.substr(0, name.find_last_of('/') + 1) + "sealdoor.socket";
  address_ = socket;
  if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0) {
    first_ = false;
    return;
  }
  ::fchmod(fd.Get(), S_ISVTX | 0600);
  handle_ = fd.Release();
  // We hold the lock: a socket left there is a dead copy's.
  sockaddr_un address{};
  if (socket.size() >= sizeof address.sun_path) {
    address_.clear();
    return;
  }
  ::unlink(socket.c_str());
  Fd s(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  const socklen_t length = Fill(address, socket);
  const mode_t mask = ::umask(0077);  // ours alone from the start
  const bool bound = s.Get() >= 0 && ::bind(s.Get(), reinterpret_cast<const sockaddr*>(&address), length) == 0;
  ::umask(mask);
  if (!bound || ::listen(s.Get(), SOMAXCONN) != 0) {
    address_.clear();
    return;
  }
  ::chmod(socket.c_str(), S_ISVTX | 0600);
  listener_ = s.Release();
}

SingleInstance::~SingleInstance() {
  if (listener_ >= 0) ::close(listener_);
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace sealdoor::app
