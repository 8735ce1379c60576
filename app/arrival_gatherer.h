#pragma once
// Launches that come together make one batch. Explorer starts a program
// once per chosen file, and a file manager may too: what arrives for the
// same action within half a second of the last arrival is gathered, and
// goes to the window in the order the launches began.

#include <chrono>
#include <deque>
#include <optional>
#include <vector>

#include "handover_message.h"

namespace sealdoor::app {

class ArrivalGatherer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kQuiet{500};
  // A stream of launches that never pauses still goes now and then.
  static constexpr std::chrono::milliseconds kLongest{5000};

  void Add(Arrival arrival, Clock::time_point now);
  // When the oldest gathering is due, or nothing when none waits.
  [[nodiscard]] std::optional<Clock::time_point> Due() const;
  // The gatherings due at `now`, oldest first, each as one arrival.
  [[nodiscard]] std::vector<Arrival> Take(Clock::time_point now);

 private:
  struct Gathering {
    std::vector<Arrival> parts;
    Clock::time_point first, last;
  };
  std::deque<Gathering> gatherings_;
};

}  // namespace sealdoor::app
