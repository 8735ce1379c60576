// Ctrl-C during a batch of sealdoor-cli: the batch stops at once, the file
// at hand stays as it was, the files done stay done, one line says how many,
// and the exit status says it was interrupted.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../../engine/test_support.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;

constexpr const char* kPassword = "Ctrl42";

struct Running {
  pid_t pid = -1;
  int err = -1;  // its standard error
};

Running Start(const std::string& op, const fs::path& folder, const std::vector<std::string>& names, bool quiet) {
  int in[2], err[2];
  if (::pipe(in) != 0 || ::pipe(err) != 0) return {};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(err[1], 2);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    for (int fd = 3; fd < 1024; ++fd) ::close(fd);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    std::vector<char*> argv{const_cast<char*>(SEALDOOR_CLI), const_cast<char*>(op.c_str()),
                            const_cast<char*>("--password-stdin")};
    if (quiet) argv.push_back(const_cast<char*>("--quiet"));
    for (const auto& n : names) argv.push_back(const_cast<char*>(n.c_str()));
    argv.push_back(nullptr);
    ::execv(SEALDOOR_CLI, argv.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(err[1]);
  const std::string line = std::string(kPassword) + "\n";
  (void)!::write(in[1], line.data(), line.size());
  ::close(in[1]);
  return {pid, err[0]};
}

struct Ended {
  int code = -1;  // the exit status; -1 when a signal ended it
  std::string err;
};

Ended Finish(const Running& run) {
  std::string err;
  char buf[4096];
  for (ssize_t n; (n = ::read(run.err, buf, sizeof buf)) > 0;) err.append(buf, static_cast<std::size_t>(n));
  ::close(run.err);
  int status = 0;
  ::waitpid(run.pid, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
}

TEST(Interrupt, CtrlCDuringABatchStopsItAndSaysHowManyFilesWereDone) {
  test::ScratchDir dir;
  std::vector<std::string> names;
  std::vector<std::vector<std::uint8_t>> plain, locked;
  for (unsigned i = 0; i < 300; ++i) {
    names.push_back("f" + std::to_string(i));
    plain.push_back(test::RandomBytes(i == 150 ? (16u << 20) : 500 + i * 97, 700 + i));
  }
  for (std::size_t i = 0; i < names.size(); ++i) test::WriteBytes(dir / names[i], plain[i]);
  // How long a whole batch takes, within which Ctrl-C comes.
  auto timed = [&](const char* op) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Finish(Start(op, dir.Path(), names, false)).code, 0);
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
  };
  timed("lock");
  for (const auto& n : names) locked.push_back(test::ReadBytes(dir / n));
  const auto unlockTime = timed("unlock");
  const auto span = std::min(unlockTime, timed("lock"));
  std::mt19937 gen(2310);
  int stopped = 0;
  for (int round = 0; round < 8; ++round) {
    const bool lock = round % 2 == 0, quiet = round == 7;
    const auto& before = lock ? plain : locked;
    for (std::size_t i = 0; i < names.size(); ++i) test::WriteBytes(dir / names[i], before[i]);
    const Running run = Start(lock ? "lock" : "unlock", dir.Path(), names, quiet);
    std::this_thread::sleep_for(std::chrono::microseconds(
        std::uniform_int_distribution<std::int64_t>(span.count() / 20, span.count() * 8 / 10)(gen)));
    ::kill(run.pid, SIGINT);
    const auto [code, err] = Finish(run);
    std::size_t changed = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const auto now = test::ReadBytes(dir / names[i]);
      if (now == before[i]) continue;
      ++changed;
      EXPECT_TRUE(lock ? test::IsLockedFormOf(now, plain[i], kPassword) : now == plain[i])
          << names[i] << " is neither whole form, round " << round;
    }
    EXPECT_EQ(dir.Names().size(), names.size()) << "a working file is left, round " << round;
    if (code == 0 && changed == names.size()) continue;  // the batch was over before Ctrl-C came
    if (code == -1 && changed == 0) continue;              // it had not begun: ended as at the prompt
    ++stopped;
    EXPECT_EQ(code, 130) << round;
    EXPECT_LT(changed, names.size()) << round;
    const std::string said = "sealdoor-cli: stopped: " + std::to_string(changed) + " of 300 files " +
                             (lock ? "locked" : "unlocked") + "; the others were not changed\n";
    EXPECT_EQ(err, quiet ? "" : said) << round;
  }
  EXPECT_GE(stopped, 4);
  std::printf("%d of 8 batches stopped by Ctrl-C\n", stopped);
}

}  // namespace
}  // namespace sealdoor
