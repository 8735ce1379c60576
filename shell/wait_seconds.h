#pragma once
#include <chrono>
#include <functional>

namespace sealdoor::shell {

// Returns after `seconds`, calling `yield` throughout so the window keeps
// handling its events. A monotonic clock: midnight and changes of the
// system time do not matter. Sleeps between yields rather than spin.
void WaitSeconds(std::chrono::seconds seconds, const std::function<void()>& yield);

}  // namespace sealdoor::shell
