#pragma once
// Reaching a first copy from a test, as a later launch does.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "app/single_instance.h"

namespace sealdoor::test {

// A connection to a first copy's address (an abstract name, NUL first, or
// a path), as a client makes it; -1 when nobody listens there.
inline int ConnectTo(const std::string& to) {
  sockaddr_un address{};
  if (to.empty() || to.size() >= sizeof address.sun_path) return -1;
  address.sun_family = AF_UNIX;
  std::memcpy(address.sun_path, to.data(), to.size());
  const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + to.size() + (to[0] == '\0' ? 0 : 1));
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&address), length) == 0) return s;
  if (s >= 0) ::close(s);
  return -1;
}

// Where the first copy of the runtime folder `runtime` listens, found by
// taking the lock for a moment: call it before that copy starts.
inline std::string AddressFor(const std::string& runtime) {
  const app::SingleInstance probe(runtime + "/sealdoor.lock");
  return probe.First() ? probe.Address() : std::string();
}

// Whether a first copy listens at `address` now.
inline bool Listening(const std::string& address) {
  const int s = ConnectTo(address);
  if (s < 0) return false;
  ::close(s);
  return true;
}

}  // namespace sealdoor::test
