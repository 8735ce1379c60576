#include <gtest/gtest.h>

#include "engine/progress_meter.h"
#include "test_support.h"

namespace sealdoor {
namespace {

// The display as the line-by-line procedure sets it, every call made (the
// meter drops calls that change nothing, so the reference does the same).
std::vector<std::string> LineByLine(std::uint64_t lines, double estimate, double total, double done0) {
  test::RecordingPort port;
  std::optional<std::string> c21, c22;
  std::optional<int> fb, ob;
  int lastF = 0, lastO = 0;
  double done = done0;
  auto caption = [&](std::optional<std::string>& shown, const char* name, int pct) {
    const std::string t = std::to_string(pct) + "%";
    if (shown != t) port.calls.push_back(std::string(name) + " = " + t);
    shown = t;
  };
  auto bar = [&](std::optional<int>& shown, const char* name, int w) {
    if (shown != w) port.calls.push_back(std::string(name) + " = " + std::to_string(w));
    shown = w;
  };
  for (std::uint64_t n = 1; n <= lines; ++n) {
    done += 1;
    const int f = Percent(static_cast<double>(n), estimate);
    const int o = Percent(done, total);
    caption(c21, "Label21", f);
    caption(c22, "Label22", o);
    if (f > lastF + 10) { bar(fb, "file bar", 2052 * f / 100); lastF = f; }
    if (f == 100) bar(fb, "file bar", 2052);
    if (o > lastO + 10) { bar(ob, "overall bar", 2052 * o / 100); lastO = o; }
    if (o == 100) bar(ob, "overall bar", 2052);
  }
  return port.calls;
}

TEST(ProgressMeter, BulkCountingShowsWhatLineByLineShows) {
  struct Case { std::uint64_t lines; double estimate, total, done0; std::vector<std::uint64_t> chunks; };
  const std::vector<Case> cases = {
      {13, 13.0, 13.0, 0, {13}},
      {100, 100.0, 250.0, 50, {1, 30, 69}},
      {1000, 1000 * 54.0 / 60, 5000, 1200, {1000}},  // unlock estimate: 100% early
      {20000, 20000.0, 20000.0, 0, {7, 65536, 13}},
      {3, 0.05, 0, 0, {3}},                           // tiny file in a tiny batch
      {500, 400.0, 1e9, 0, {250, 250}},               // overall stays at 0%
  };
  for (const auto& c : cases) {
    test::RecordingPort port;
    BatchCounters counters{c.total, c.done0};
    ProgressMeter meter(port, counters, c.estimate);
    std::uint64_t sum = 0;
    for (auto k : c.chunks) { meter.AddLines(std::min(k, c.lines - sum)); sum += std::min(k, c.lines - sum); }
    meter.AddLines(c.lines - sum);
    EXPECT_EQ(port.calls, LineByLine(c.lines, c.estimate, c.total, c.done0)) << c.lines;
    EXPECT_EQ(counters.LinesDone, c.done0 + static_cast<double>(c.lines));
  }
}

TEST(ProgressMeter, FinishShowsAFullFileBar) {
  test::RecordingPort port;
  BatchCounters counters{1000, 0};
  ProgressMeter meter(port, counters, 100);
  meter.AddLines(5);
  meter.Finish();
  ASSERT_GE(port.calls.size(), 2u);
  EXPECT_EQ(port.calls[port.calls.size() - 2], "Label21 = 100%");
  EXPECT_EQ(port.calls.back(), "file bar = 2052");
}

}  // namespace
}  // namespace sealdoor
