// Kills sealdoor-cli at random moments while it locks and unlocks files of
// several sizes. After every kill the file must be either what it was or
// its complete new form, with its mode, and nothing may be left in its
// folder but working files that the next run removes.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>
#include <random>
#include <thread>

#include "../../engine/test_support.h"
#include "engine/format.h"
#include "engine/scramble.h"
#include "engine/temp_names.h"
#include "cli_process.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::WriteBytes;

constexpr const char* kPassword = "Crash42";

pid_t Start(const std::string& op, const fs::path& folder, const std::vector<std::string>& names) {
  return test::StartCli(op, folder, names, kPassword);
}

pid_t Start(const std::string& op, const fs::path& file) { return test::StartCli(op, file, kPassword); }

int Wait(pid_t pid) { return test::WaitCli(pid); }

std::chrono::nanoseconds TimeOneRun(const std::string& op, const fs::path& file) {
  const auto start = std::chrono::steady_clock::now();
  Wait(Start(op, file));
  return std::chrono::steady_clock::now() - start;
}

bool IsLockedFormOf(const std::vector<std::uint8_t>& bytes, const std::vector<std::uint8_t>& plain) {
  return test::IsLockedFormOf(bytes, plain, kPassword);
}

TEST(Crash, KilledAtRandomMomentsNothingIsLostOrHalfWritten) {
  const char* env = std::getenv("SEALDOOR_CRASH_KILLS");
  const int kills = env ? std::atoi(env) : 80;
  const std::vector<std::size_t> sizes = {0, 1, 701, 702, 4095, 4096, 4097, 24u << 20};
  test::ScratchDir dir;
  const fs::path file = dir / "victim.dat";
  std::mt19937 gen(20261210);
  int runs = 0, killedMidway = 0, leftovers = 0, bad = 0;

  for (std::size_t s = 0; s < sizes.size(); ++s) {
    const auto plain = test::RandomBytes(sizes[s], static_cast<unsigned>(s) + 100);
    // One uninterrupted lock and unlock: the reference locked form and the
    // time a run takes, within which the kills fall.
    WriteBytes(file, plain);
    ::chmod(file.c_str(), 0640);
    const auto lockTime = TimeOneRun("lock", file);
    const auto locked = ReadBytes(file);
    ASSERT_TRUE(IsLockedFormOf(locked, plain));
    const auto unlockTime = TimeOneRun("unlock", file);
    ASSERT_EQ(ReadBytes(file), plain);

    const int perSize = kills / static_cast<int>(sizes.size()) + 1;
    for (int k = 0; k < perSize; ++k) {
      const bool lock = k % 2 == 0;
      WriteBytes(file, lock ? plain : locked);
      ::chmod(file.c_str(), 0640);
      const auto span = (lock ? lockTime : unlockTime) * 12 / 10;
      const auto delay = std::chrono::nanoseconds(
          std::uniform_int_distribution<std::int64_t>(0, span.count())(gen));
      const pid_t pid = Start(lock ? "lock" : "unlock", file);
      std::this_thread::sleep_for(delay);
      ::kill(pid, SIGKILL);
      const int status = Wait(pid);
      ++runs;
      if (status > 128) ++killedMidway;

      const auto now = ReadBytes(file);
      const bool before = now == (lock ? plain : locked);
      const bool after = lock ? IsLockedFormOf(now, plain) : now == plain;
      struct stat st {};
      ::stat(file.c_str(), &st);
      if (!(before || after) || (st.st_mode & 07777) != 0640) {
        ++bad;
        ADD_FAILURE() << "size " << sizes[s] << (lock ? " lock" : " unlock") << " killed after "
                      << delay.count() << " ns: " << (before || after ? "mode changed" : "half-written file");
      }
      bool leftover = false;
      for (const auto& name : dir.Names()) {
        if (name == "victim.dat") continue;
        EXPECT_TRUE(IsHousekeepingName(name)) << "unexpected file " << name;
        leftover = true;
      }
      if (leftover) {
        ++leftovers;
        // The next run in the folder removes them, whatever it does.
        Wait(Start(after == lock ? "unlock" : "lock", file));
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"victim.dat"});
      }
    }
  }
  std::printf("%d kills (%d before the run ended), %d left a working file, %d lost or half-written\n",
              runs, killedMidway, leftovers, bad);
  EXPECT_EQ(bad, 0);
}

TEST(Crash, KilledDuringABatchOfManySmallFilesEachFileIsWhole) {
  // The files of a batch are committed in groups; a kill may leave a group
  // half committed, never a file half written.
  const char* env = std::getenv("SEALDOOR_CRASH_KILLS");
  const int rounds = (env ? std::atoi(env) : 80) / 8 + 1;
  test::ScratchDir dir;
  std::vector<std::string> names;
  std::vector<std::vector<std::uint8_t>> plain;
  for (int i = 0; i < 600; ++i) {
    names.push_back("f" + std::to_string(i));
    plain.push_back(test::RandomBytes(4096, static_cast<unsigned>(i) + 500));
  }
  auto reset = [&] {
    for (std::size_t i = 0; i < names.size(); ++i) WriteBytes(dir / names[i], plain[i]);
  };
  reset();
  const auto start = std::chrono::steady_clock::now();
  Wait(Start("lock", dir.Path(), names));
  const auto span = (std::chrono::steady_clock::now() - start) * 12 / 10;
  std::mt19937 gen(1210);
  int lockedAtKill = 0, bad = 0;
  for (int r = 0; r < rounds; ++r) {
    reset();
    const pid_t pid = Start("lock", dir.Path(), names);
    std::this_thread::sleep_for(std::chrono::nanoseconds(
        std::uniform_int_distribution<std::int64_t>(0, std::chrono::nanoseconds(span).count())(gen)));
    ::kill(pid, SIGKILL);
    Wait(pid);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto now = ReadBytes(dir / names[i]);
      if (IsLockedFormOf(now, plain[i])) {
        ++lockedAtKill;
      } else if (now != plain[i]) {
        ++bad;
        ADD_FAILURE() << names[i] << " is neither its original nor its locked form";
      }
    }
    // The next run finishes the work and leaves nothing behind.
    Wait(Start("lock", dir.Path(), names));
    EXPECT_EQ(dir.Names().size(), names.size());
  }
  std::printf("%d kills during batches of %zu files: %d files locked when killed, %d neither whole form\n", rounds,
              names.size(), lockedAtKill, bad);
}

}  // namespace
}  // namespace sealdoor
