// Other programs racing sealdoor-cli: a writer appending lines to the file
// being locked, and two locks of one file at once. Nothing written may ever
// be lost, and success is never reported for a version that no longer
// exists. SEALDOOR_RACE_ROUNDS sets the rounds (a long run: scripts/reliability).

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../../engine/test_support.h"
#include "engine/format.h"
#include "engine/scramble.h"
#include "cli_process.h"
#include "support/run_shell.h"

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

TEST(Race, TwoRunsOnTheSameFilesShareThemOutAndKeepNoCopies) {
  // Two runs on the same files at once: each file is locked by one of them;
  // the other leaves it before any work ("another Sealdoor run is working
  // on it"), or finds it locked already; nothing is ever kept beside.
  test::ScratchDir dir;
  const int n = 60;
  std::vector<std::string> names;
  std::vector<Bytes> plain;
  for (int i = 0; i < n; ++i) {
    names.push_back("f" + std::to_string(i));
    plain.push_back(test::RandomBytes(i % 7 == 0 ? (2u << 20) : 20000, static_cast<unsigned>(i) + 300));
  }
  const int rounds = Rounds(6);
  for (int round = 0; round < rounds; ++round) {
    for (int i = 0; i < n; ++i) test::WriteBytes(dir / names[static_cast<std::size_t>(i)], plain[static_cast<std::size_t>(i)]);
    const pid_t a = test::StartCli("lock", dir.Path(), names, "First1");
    const pid_t b = test::StartCli("lock", dir.Path(), names, "Second2");
    ExitCode(a);
    ExitCode(b);
    for (int i = 0; i < n; ++i) {
      const auto& name = names[static_cast<std::size_t>(i)];
      const Bytes now = test::ReadBytes(dir / name);
      const bool first = test::IsLockedFormOf(now, plain[static_cast<std::size_t>(i)], "First1");
      const bool second = test::IsLockedFormOf(now, plain[static_cast<std::size_t>(i)], "Second2");
      EXPECT_TRUE(first || second) << "round " << round << ": " << name << " is not locked once";
    }
    for (const auto& name : dir.Names())
      EXPECT_TRUE(name.starts_with("f") && name.find('.') == std::string::npos) << "round " << round << ": " << name;
    for (const auto& name : dir.Names()) fs::remove(dir / name);
  }
}

TEST(Race, TheSecondRunSaysAnotherRunIsWorkingOnTheFile) {
  test::ScratchDir dir, others;
  test::WriteBytes(dir / "big", test::RandomBytes(64 << 20, 9));
  // A busy system meanwhile: another program taking and letting go of
  // hundreds of locks, as a batch of small files does.
  std::atomic<bool> quiet{false};
  std::thread churn([&] {
    std::vector<int> fds;
    for (int i = 0; i < 600; ++i)
      fds.push_back(::open((others / ("l" + std::to_string(i))).c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    while (!quiet) {
      for (const int fd : fds) (void)::flock(fd, LOCK_EX);
      for (const int fd : fds) (void)::flock(fd, LOCK_UN);
    }
    for (const int fd : fds) ::close(fd);
  });
  struct Join {
    std::atomic<bool>& quiet;
    std::thread& churn;
    ~Join() {
      quiet = true;
      churn.join();
    }
  } join{quiet, churn};
  const pid_t first = test::StartCli("lock", dir.Path(), {"big"}, "First1");
  // Once the first run holds the file, the second is told so. Its locks
  // are read from its own open files: /proc/locks, read a page at a time,
  // can skip a line while other programs take and let go of locks.
  const auto holdsAFlock = [first] {
    std::error_code gone;
    const fs::path fds = "/proc/" + std::to_string(first) + "/fdinfo";
    for (fs::directory_iterator fd(fds, gone), end; !gone && fd != end; fd.increment(gone)) {
      std::ifstream info(fd->path());
      for (std::string line; std::getline(info, line);)
        if (line.starts_with("lock:") && line.find("FLOCK") != std::string::npos) return true;
    }
    return false;
  };
  bool held = false;
  for (int i = 0; i < 3000 && !held; ++i) {
    held = holdsAFlock();
    if (!held) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  ASSERT_TRUE(held);
  // Second runs, one after the other, for as long as the first works.
  int told = 0;
  for (int i = 0; i < 8; ++i) {
    const auto r = test::RunShell("cd '" + dir.Path().string() + "' && echo Second2 | '" + std::string(SEALDOOR_CLI) +
                                  "' lock --password-stdin big 2>&1");
    if (r.output.find("is already locked") != std::string::npos) break;  // the first was done
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "sealdoor-cli: 'big' could not be locked: another Sealdoor run is working on it\n");
    ++told;
  }
  EXPECT_EQ(ExitCode(first), 0);
  if (told == 0) GTEST_SKIP() << "the first run was done before the second began";
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"big"});
}

}  // namespace
}  // namespace sealdoor
