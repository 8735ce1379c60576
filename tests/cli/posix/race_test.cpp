// Other programs racing sealdoor-cli: a writer appending lines to the file
// being locked, and two locks of one file at once. Nothing written may ever
// be lost, and success is never reported for a version that no longer
// exists. SEALDOOR_RACE_ROUNDS sets the rounds (a long run: scripts/reliability).

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include "../../engine/test_support.h"
#include "engine/format.h"
#include "engine/scramble.h"
#include "cli_process.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

int Rounds(int fallback) {
  const char* env = std::getenv("SEALDOOR_RACE_ROUNDS");
  return env ? std::atoi(env) : fallback;
}

pid_t StartCli(const std::string& op, const fs::path& file, const std::string& password) {
  return test::StartCli(op, file, password);
}

int ExitCode(pid_t pid) { return test::WaitCli(pid); }

// State shared with the writer process.
struct Shared {
  std::atomic<bool> stop{false};
  std::atomic<int> written{0};
};

std::string Line(int n) { return std::to_string(n) + "\n"; }

TEST(Race, AWriterAppendingDuringALockLosesNothing) {
  test::ScratchDir dir;
  const fs::path f = dir / "log";
  const Bytes start = test::RandomBytes(1 << 20, 7);
  auto* shared = static_cast<Shared*>(
      ::mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  std::mt19937 gen(20261210);
  int locked = 0, refused = 0;
  const int rounds = Rounds(20);
  for (int round = 0; round < rounds; ++round) {
    test::WriteBytes(f, start);
    new (shared) Shared;
    // Appends a numbered line at a time, opening the file for each, every
    // 0.3 ms in most rounds, rarely enough in others for a lock to get done.
    const int pause = round % 4 == 0 ? 300 : std::uniform_int_distribution<int>(300, 40000)(gen);
    const pid_t writer = ::fork();
    if (writer == 0) {
      for (int n = 1; !shared->stop.load(); ++n) {
        const int fd = ::open(f.c_str(), O_WRONLY | O_APPEND);
        const std::string line = Line(n);
        if (fd >= 0 && ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size()))
          shared->written.store(n);
        ::close(fd);
        ::usleep(static_cast<useconds_t>(pause));
      }
      ::_exit(0);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(std::uniform_int_distribution<int>(0, 3000)(gen)));
    const int code = ExitCode(StartCli("lock", f, "Race1"));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    shared->stop.store(true);
    ExitCode(writer);

    Bytes plain = start;
    std::vector<std::size_t> boundaries{plain.size()};
    for (int n = 1; n <= shared->written.load(); ++n) {
      const std::string line = Line(n);
      plain.insert(plain.end(), line.begin(), line.end());
      boundaries.push_back(plain.size());
    }
    const Bytes now = test::ReadBytes(f);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"log"}) << "round " << round;
    if (code != 0) {
      ++refused;
      EXPECT_EQ(code, 1);
      EXPECT_EQ(now, plain) << "round " << round << ": refused, and the file is not what was written";
      continue;
    }
    ++locked;
    // Locked at some moment: the lines up to then scrambled behind the head,
    // the ones after appended as they came.
    bool found = false;
    ASSERT_EQ(now.size(), plain.size() + format::kHead) << "round " << round << ": lines lost";
    for (auto it = boundaries.rbegin(); it != boundaries.rend() && !found; ++it) {
      const std::size_t j = *it;
      if (!std::equal(plain.begin() + static_cast<long>(j), plain.end(), now.begin() + static_cast<long>(format::kHead + j)))
        continue;
      Bytes prefix(plain.begin(), plain.begin() + static_cast<long>(j));
      format::ScrambleInPlace(prefix);
      found = std::equal(prefix.begin(), prefix.end(), now.begin() + format::kHead);
    }
    EXPECT_TRUE(found) << "round " << round << ": the locked file does not hold every line written";
  }
  std::printf("%d rounds: %d locked, %d refused while the writer was at work\n", rounds, locked, refused);
  ::munmap(shared, sizeof(Shared));
}

TEST(Race, TwoLocksOfOneFileAtOnceNeverBothSucceed) {
  test::ScratchDir dir;
  const fs::path f = dir / "f";
  const Bytes plain = test::RandomBytes(8 << 20, 8);
  const int rounds = Rounds(10);
  for (int round = 0; round < rounds; ++round) {
    test::WriteBytes(f, plain);
    const pid_t a = StartCli("lock", f, "First1");
    const pid_t b = StartCli("lock", f, "Second2");
    const int codeA = ExitCode(a), codeB = ExitCode(b);
    EXPECT_FALSE(codeA == 0 && codeB == 0) << "round " << round << ": both reported success";
    EXPECT_TRUE(codeA == 0 || codeB == 0) << "round " << round << ": neither locked it";
    // The file is locked with the password of the one that succeeded.
    const std::string winner = codeA == 0 ? "First1" : "Second2";
    EXPECT_EQ(ExitCode(StartCli("unlock", f, winner)), 0) << "round " << round;
    EXPECT_EQ(test::ReadBytes(f), plain) << "round " << round;
    for (const auto& name : dir.Names()) {
      if (name == "f") continue;
      // The other's work, kept beside it because the file changed under it.
      EXPECT_EQ(name, "f.sealdoor-locked");
      fs::remove(dir / name);
    }
  }
}

}  // namespace
}  // namespace sealdoor
