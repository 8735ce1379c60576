#include "wait_seconds.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace sealdoor::shell {

void WaitSeconds(std::chrono::seconds seconds, const std::function<void()>& yield) {
  using Clock = std::chrono::steady_clock;
  const auto end = Clock::now() + seconds;
  // A slice short enough that the window answers at once, long enough that
  // the processor rests.
  constexpr auto kSlice = std::chrono::milliseconds(10);
  for (auto now = Clock::now(); now < end; now = Clock::now()) {
    if (yield) yield();
    std::this_thread::sleep_for(std::min<Clock::duration>(kSlice, end - Clock::now()));
  }
}

}  // namespace sealdoor::shell
