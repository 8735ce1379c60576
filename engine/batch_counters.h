#pragma once

#include <span>
#include <string>

namespace sealdoor {

// The batch's overall progress: the dispatcher sets both before a batch, the
// engine adds a line per content line and lowers the total for a refused
// file. Doubles, so a total of any size fits.
struct BatchCounters {
  double TotalLines = 0;
  double LinesDone = 0;
};

// The counters at the start of a batch of these files (paths as UTF-8 text):
// their byte total divided by 54 (remainder dropped), nothing done. A file
// whose length cannot be read adds nothing.
[[nodiscard]] BatchCounters BatchCountersFor(std::span<const std::string> files);

}  // namespace sealdoor
