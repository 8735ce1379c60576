#include "progress_meter.h"

#include <cmath>

namespace sealdoor {

int Percent(double done, double total) noexcept {
  if (!(total > 0)) return 100;
  const double p = std::floor(done / total * 100);
  if (p >= 100) return 100;
  if (p <= 0) return 0;
  return static_cast<int>(p);
}

ProgressMeter::ProgressMeter(WindowPort& window, BatchCounters& counters, double fileLineEstimate)
    : window_(window), counters_(counters), estimate_(fileLineEstimate) {}

void ProgressMeter::SetCaption(Caption which, std::optional<int>& shown, int percent) {
  if (shown == percent) return;
  shown = percent;
  window_.SetCaption(which, std::to_string(percent) + "%");
}

void ProgressMeter::SetBar(Bar which, std::optional<int>& shown, int twips) {
  if (shown == twips) return;
  shown = twips;
  window_.SetBarWidth(which, twips);
}

void ProgressMeter::Step() {
  ++linesWritten_;
  counters_.LinesDone += 1;
  filePct_ = Percent(static_cast<double>(linesWritten_), estimate_);
  overallPct_ = Percent(counters_.LinesDone, counters_.TotalLines);
  SetCaption(Caption::Label21, fileCaption_, filePct_);
  SetCaption(Caption::Label22, overallCaption_, overallPct_);
  if (filePct_ > lastFileBar_ + 10) {
    SetBar(Bar::File, fileBar_, kFullBarTwips * filePct_ / 100);
    lastFileBar_ = filePct_;
  }
  if (filePct_ == 100) SetBar(Bar::File, fileBar_, kFullBarTwips);
  if (overallPct_ > lastOverallBar_ + 10) {
    SetBar(Bar::Overall, overallBar_, kFullBarTwips * overallPct_ / 100);
    lastOverallBar_ = overallPct_;
  }
  if (overallPct_ == 100) SetBar(Bar::Overall, overallBar_, kFullBarTwips);
}

void ProgressMeter::AddLines(std::uint64_t lines) {
  // Both percentages only grow with the line count, so a run of lines that
  // ends on the same two figures as it starts changes nothing on screen and
  // can be counted at once; the line where a figure moves is found by
  // bisection and stepped through on its own.
  while (lines > 0) {
    if (linesWritten_ == 0) {
      Step();
      --lines;
      continue;
    }
    const auto n0 = static_cast<double>(linesWritten_);
    const double d0 = counters_.LinesDone;
    auto unchanged = [&](std::uint64_t k) {
      const auto dk = static_cast<double>(k);
      return Percent(n0 + dk, estimate_) == filePct_ &&
             Percent(d0 + dk, counters_.TotalLines) == overallPct_;
    };
    std::uint64_t quiet = lines;
    if (!unchanged(lines)) {
      // In a file of fewer than a hundred lines every line moves its
      // figure: no search for those.
      std::uint64_t lo = 0, hi = lines;  // unchanged(lo), !unchanged(hi)
      if (lines > 1 && !unchanged(1)) hi = 1;
      while (hi - lo > 1) {
        const std::uint64_t mid = lo + (hi - lo) / 2;
        (unchanged(mid) ? lo : hi) = mid;
      }
      quiet = lo;
    }
    linesWritten_ += quiet;
    counters_.LinesDone += static_cast<double>(quiet);
    lines -= quiet;
    if (lines > 0) {
      Step();
      --lines;
    }
  }
}

void ProgressMeter::Finish() {
  SetCaption(Caption::Label21, fileCaption_, 100);
  SetBar(Bar::File, fileBar_, kFullBarTwips);
}

}  // namespace sealdoor
