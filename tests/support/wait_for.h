#pragma once
// Waiting for a state, not for a time. A machine that is installing and
// building beside the tests, or a busy CI runner, may take many times longer
// than an idle one for a process to start or a file to appear, so the limit
// is generous: only a fault reaches it.

#include <chrono>
#include <thread>

namespace sealdoor::test {

inline constexpr std::chrono::milliseconds kPatience{60000};

// Checks `done` every few milliseconds until it holds or `limit` has
// passed; says whether it held.
template <typename Done>
[[nodiscard]] bool WaitFor(Done&& done, std::chrono::milliseconds limit = kPatience) {
  const auto until = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= until) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace sealdoor::test
