#pragma once
// Files from outside (a file manager's menu, a second launch) that came
// while the window could not take them: kept in the order they came.

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/action.h"

namespace sealdoor::ui {

// Files from outside and the action they are for (none: any button's).
struct Arrival {
  std::optional<Action> action;
  std::vector<std::string> paths;
  // A file "Unlock and Open" left open unlocked, waiting to be locked again:
  // it waits on its own, and its line says so.
  bool reopened = false;
};

class ArrivalQueue {
 public:
  void Push(Arrival arrival) { queue_.push_back(std::move(arrival)); }
  [[nodiscard]] bool Empty() const noexcept { return queue_.empty(); }
  // The oldest, taken out; nothing when none waits.
  [[nodiscard]] std::optional<Arrival> Pop() {
    if (queue_.empty()) return std::nullopt;
    Arrival front = std::move(queue_.front());
    queue_.pop_front();
    return front;
  }

 private:
  std::deque<Arrival> queue_;
};

}  // namespace sealdoor::ui
