#pragma once

namespace sealdoor {

// The batch's overall progress: the dispatcher sets both before a batch, the
// engine adds a line per content line and lowers the total for a refused
// file. Doubles, so a total of any size fits.
struct BatchCounters {
  double TotalLines = 0;
  double LinesDone = 0;
};

}  // namespace sealdoor
