#pragma once
// The per-file and overall figures of one engine operation: the percentage
// captions follow every content line, the bars move in steps of more than
// ten points or on reaching 100. The window hears only of real changes.

#include <cstdint>
#include <optional>
#include <string>

#include "batch_counters.h"
#include "window_port.h"

namespace sealdoor {

class ProgressMeter {
 public:
  // `fileLineEstimate`: the file's length / 54 (lock) or / 60 (unlock).
  ProgressMeter(WindowPort& window, BatchCounters& counters, double fileLineEstimate);

  // Counts `lines` more content lines, updating the display as the
  // line-by-line procedure would have left it.
  void AddLines(std::uint64_t lines);

  // End of the content: "100%" and the full file bar.
  void Finish();

 private:
  void Step();  // one content line, as the line-by-line procedure does it
  void SetCaption(Caption which, std::optional<int>& shown, int percent);
  void SetBar(Bar which, std::optional<int>& shown, int twips);

  WindowPort& window_;
  BatchCounters& counters_;
  double estimate_;
  std::uint64_t linesWritten_ = 0;
  int filePct_ = 0;
  int overallPct_ = 0;
  int lastFileBar_ = 0;
  int lastOverallBar_ = 0;
  std::optional<int> fileCaption_, overallCaption_, fileBar_, overallBar_;
};

// Integer part of done / total * 100, cut to 100. A total of 0 or less
// (a batch of fewer than 54 bytes) counts as complete.
[[nodiscard]] int Percent(double done, double total) noexcept;

}  // namespace sealdoor
