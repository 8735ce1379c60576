#pragma once

#include <filesystem>
#include <span>

namespace sealdoor {

// The batch's overall progress: the dispatcher sets both before a batch, the
// engine adds a line per content line and lowers the total for a refused
// file. Doubles, so a total of any size fits.
struct BatchCounters {
  double TotalLines = 0;
  double LinesDone = 0;
};

// The counters at the start of a batch of these files: their byte total
// divided by 54 (remainder dropped), nothing done. A file whose length cannot
// be read adds nothing.
[[nodiscard]] BatchCounters BatchCountersFor(std::span<const std::filesystem::path> files);

}  // namespace sealdoor
