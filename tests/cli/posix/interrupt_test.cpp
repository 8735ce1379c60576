// Ctrl-C during a batch of sealdoor-cli: the batch stops at once, the file
// at hand stays as it was, the files done stay done, one line says how many,
// and the exit status says it was interrupted.

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>
#include <vector>

#include "../../engine/test_support.h"
#include "../cli_runner.h"

namespace sealdoor {
namespace {

constexpr const char* kPassword = "Ctrl42";

TEST(Interrupt, CtrlCDuringABatchStopsItAndSaysHowManyFilesWereDone) {
  test::ScratchDir dir;
  std::vector<std::string> names;
  std::vector<std::vector<std::uint8_t>> plain, locked;
  for (unsigned i = 0; i < 300; ++i) {
    names.push_back("f" + std::to_string(i));
    plain.push_back(test::RandomBytes(i == 150 ? (16u << 20) : 500 + i * 97, 700 + i));
  }
  for (std::size_t i = 0; i < names.size(); ++i) test::WriteBytes(dir / names[i], plain[i]);
  auto args = [&](const char* op, bool quiet) {
    std::vector<std::string> a{op, "--password-stdin"};
    if (quiet) a.push_back("--quiet");
    a.insert(a.end(), names.begin(), names.end());
    return a;
  };
  // How long a whole batch takes, within which Ctrl-C comes.
  auto timed = [&](const char* op) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(test::RunCli(args(op, false), std::string(kPassword) + "\n", dir.Path()).exitCode, 0);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  };
  timed("lock");
  for (const auto& n : names) locked.push_back(test::ReadBytes(dir / n));
  const auto unlockTime = timed("unlock");
  const auto span = std::min(unlockTime, timed("lock"));
  std::mt19937 gen(2310);
  int stopped = 0, round = 0;
  // Eight rounds, and more while fewer than four were stopped midway: on a
  // busy machine a batch may take longer or shorter than it did above.
  for (; round < 8 || (stopped < 4 && round < 64); ++round) {
    const bool lock = round % 2 == 0, quiet = round % 8 == 7;
    const auto& before = lock ? plain : locked;
    for (std::size_t i = 0; i < names.size(); ++i) test::WriteBytes(dir / names[i], before[i]);
    const auto after = std::chrono::microseconds(
        std::uniform_int_distribution<std::int64_t>(span.count() / 20, span.count() * 8 / 10)(gen));
    const auto r = test::RunCli(args(lock ? "lock" : "unlock", quiet), std::string(kPassword) + "\n", dir.Path(), after);
    ASSERT_TRUE(r.interrupted);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto now = test::ReadBytes(dir / names[i]);
      if (now == before[i]) continue;
      ++changed;
      EXPECT_TRUE(lock ? test::IsLockedFormOf(now, plain[i], kPassword) : now == plain[i])
          << names[i] << " is neither whole form, round " << round;
    }
    EXPECT_EQ(dir.Names().size(), names.size()) << "a working file is left, round " << round;
    if (r.exitCode == 0) {
      EXPECT_EQ(changed, names.size()) << round;  // the batch was over before Ctrl-C came
      continue;
    }
    EXPECT_EQ(r.exitCode, 130) << round;
    if (changed == 0 && r.err.empty()) continue;  // ended before its batch began, as at the prompt
    ++stopped;
    EXPECT_LT(changed, names.size()) << round;
    const std::string said = "sealdoor-cli: stopped: " + std::to_string(changed) + " of 300 files " +
                             (lock ? "locked" : "unlocked") + "; the others were not changed\n";
    EXPECT_EQ(r.err, quiet ? "" : said) << round;
  }
  EXPECT_GE(stopped, 4) << "in " << round << " rounds";
  std::printf("%d of %d batches stopped by Ctrl-C\n", stopped, round);
}

}  // namespace
}  // namespace sealdoor
