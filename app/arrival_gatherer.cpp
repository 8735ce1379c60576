#include "arrival_gatherer.h"

#include <algorithm>

namespace sealdoor::app {

void ArrivalGatherer::Add(Arrival arrival, Clock::time_point now) {
  if (!gatherings_.empty()) {
    Gathering& open = gatherings_.back();
    // Files to unlock and open are opened one by one, each in its turn.
    if (open.parts.front().action == arrival.action && arrival.action != Action::UnlockAndOpen &&
        now - open.first < kLongest) {
      open.parts.push_back(std::move(arrival));
      open.last = now;
      return;
    }
  }
  // Another action closes the open gathering: it goes first, as it came.
  gatherings_.push_back({{std::move(arrival)}, now, now});
}

std::optional<ArrivalGatherer::Clock::time_point> ArrivalGatherer::Due() const {
  if (gatherings_.empty()) return std::nullopt;
  if (gatherings_.size() > 1) return gatherings_.front().last;  // closed: due now
  const Gathering& g = gatherings_.front();
  return std::min(g.last + kQuiet, g.first + kLongest);
}

std::vector<Arrival> ArrivalGatherer::Take(Clock::time_point now) {
  std::vector<Arrival> due;
  while (!gatherings_.empty()) {
    const bool closed = gatherings_.size() > 1;
    Gathering& g = gatherings_.front();
    if (!closed && now < std::min(g.last + kQuiet, g.first + kLongest)) break;
    std::stable_sort(g.parts.begin(), g.parts.end(),
                     [](const Arrival& a, const Arrival& b) { return a.stamp < b.stamp; });
    Arrival whole{g.parts.front().action, {}, g.parts.front().stamp};
    for (auto& part : g.parts)
      whole.paths.insert(whole.paths.end(), std::make_move_iterator(part.paths.begin()),
                         std::make_move_iterator(part.paths.end()));
    due.push_back(std::move(whole));
    gatherings_.pop_front();
  }
  return due;
}

}  // namespace sealdoor::app
