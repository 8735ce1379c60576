#include "app/handover_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
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
bool TryOnce(const sockaddr_un& address, const std::string& message, std::chrono::steady_clock::time_point until,
             bool& connected) {
  const Socket s;
  if (s.Get() < 0) return false;
  if (::connect(s.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return false;
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
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    if (left <= 0ms) return false;
    pollfd p{s.Get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    char ack = 0;
    return ::recv(s.Get(), &ack, 1, 0) == 1 && ack == '1';
  }
}

}  // namespace

std::string HandoverSocket(const std::string& folder) { return folder + "/sealdoor.socket"; }

bool HandOver(const std::string& folder, const Arrival& arrival) {
  if (folder.empty()) return false;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = HandoverSocket(folder);
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const std::string message = EncodeArrival(arrival);
  if (message.size() > kMaxMessageBytes) return false;
  const auto until = std::chrono::steady_clock::now() + kPatience;
  // The first copy may hold its lock and not yet listen: try again a while.
  while (std::chrono::steady_clock::now() < until) {
    bool connected = false;
    if (TryOnce(address, message, until, connected)) return true;
    if (connected) return false;  // it listened, and refused or did not answer
    std::this_thread::sleep_for(50ms);
  }
  return false;
}

}  // namespace sealdoor::app
