#include "app/handover_client.h"

#include <poll.h>
#include <sys/time.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <thread>

namespace sealdoor::app {
namespace {

using namespace std::chrono_literals;
constexpr auto kPatience = 10s;

class Socket {
 public:
  Socket() : fd_(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
  ~Socket() {
    if (fd_ >= 0) ::close(fd_);
  }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  [[nodiscard]] int Get() const noexcept { return fd_; }

 private:
  int fd_;
};

bool SendAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// One try: false when nobody listens yet, or the one who does is not us.
bool TryOnce(const sockaddr_un& address, socklen_t length, const std::string& message,
             std::chrono::steady_clock::time_point until, bool& connected) {
  const Socket s;
  if (s.Get() < 0) return false;
  // Sending waits for a first copy that reads slowly, within our patience.
  const auto left = std::chrono::duration_cast<std::chrono::microseconds>(until - std::chrono::steady_clock::now());
  if (left <= 0us) return false;
  const timeval patience{static_cast<time_t>(left.count() / 1'000'000),
                         static_cast<suseconds_t>(left.count() % 1'000'000)};
  ::setsockopt(s.Get(), SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
  if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), length) != 0) return false;
  connected = true;
  // Only a copy of our own user gets the paths.
  ucred peer{};
  socklen_t len = sizeof peer;
  if (::getsockopt(s.Get(), SOL_SOCKET, SO_PEERCRED, &peer, &len) != 0 || peer.uid != ::geteuid()) return false;
  const auto size = static_cast<std::uint32_t>(message.size());
  const char header[4] = {static_cast<char>(size), static_cast<char>(size >> 8), static_cast<char>(size >> 16),
                          static_cast<char>(size >> 24)};
  if (!SendAll(s.Get(), header, sizeof header) || !SendAll(s.Get(), message.data(), message.size())) return false;
  for (;;) {
    const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (wait <= 0ms) return false;
    pollfd p{s.Get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(wait.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char ack = 0;
    return ::recv(s.Get(), &ack, 1, 0) == 1 && ack == '1';
  }
}

}  // namespace

HandoverResult HandOver(const std::string& address, const Arrival& arrival) {
  const std::string message = EncodeArrival(arrival);
  if (message.size() > kMaxMessageBytes) return HandoverResult::TooLarge;
  sockaddr_un to{};
  if (address.empty() || address.size() >= sizeof to.sun_path) return HandoverResult::NotTaken;
  to.sun_family = AF_UNIX;
  // An abstract name (a NUL first) is its bytes exactly; a path is ended by a NUL.
  std::memcpy(to.sun_path, address.data(), address.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + address.size() +
                                             (address.front() == '\0' ? 0 : 1));
  const auto until = std::chrono::steady_clock::now() + kPatience;
  // The first copy may hold its lock and not yet listen: try again a while.
  while (std::chrono::steady_clock::now() < until) {
    bool connected = false;
    if (TryOnce(to, length, message, until, connected)) return HandoverResult::Taken;
    if (connected) return HandoverResult::NotTaken;  // it listened, and refused or did not answer
    std::this_thread::sleep_for(50ms);
  }
  return HandoverResult::NotTaken;
}

}  // namespace sealdoor::app
