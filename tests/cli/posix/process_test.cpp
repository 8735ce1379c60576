// sealdoor-cli as a process among others: limits, interrupts at the
// password prompt, core dumps, and what it takes from standard input.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "../../engine/test_support.h"
#include "support/run_shell.h"
#include "support/wait_for.h"
#include "../cli_runner.h"
#include "engine/format.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

TEST(Process, AFileSizeLimitFailsTheFileInsteadOfKillingTheTool) {
  test::ScratchDir dir;
  const fs::path f = dir / "big.bin";
  const auto plain = test::RandomBytes(300 * 1024, 1);
  test::WriteBytes(f, plain);
  const auto r = test::RunShell("bash -c \"ulimit -f 100; exec '" + std::string(SEALDOOR_CLI) +
                                "' lock --password-stdin " + Quote(f) + " <<< Abc1 2>&1\"");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "sealdoor-cli: " + Quote(f) + " could not be locked: File too large\n");
  EXPECT_EQ(test::ReadBytes(f), plain);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"big.bin"});
}

// A batch through more folders than the tool may hold open at once (each
// folder it works in holds a handle and a journal, each waiting file two
// more): it goes through, every file whole both ways, nothing of ours left.
TEST(Process, ABatchThroughMoreFoldersThanItMayHoldOpenGoesThrough) {
  test::ScratchDir dir;
  std::map<fs::path, std::vector<std::uint8_t>> contents;
  for (int d = 0; d < 90; ++d)
    for (int f = 0; f < 2; ++f) {
      const fs::path p = dir / "tree" / ("d" + std::to_string(d)) / ("f" + std::to_string(f));
      fs::create_directories(p.parent_path());
      contents[p] = test::RandomBytes(2000 + static_cast<std::size_t>(d), static_cast<unsigned>(d * 2 + f));
      test::WriteBytes(p, contents[p]);
    }
  for (const char* action : {"lock", "unlock"}) {
    const auto r = test::RunShell("bash -c \"ulimit -n 200 && exec '" + std::string(SEALDOOR_CLI) + "' " + action +
                                  " -r --quiet --password-stdin " + Quote(dir / "tree") + " <<< Abc1 2>&1\"");
    EXPECT_EQ(r.exitCode, 0) << action << ": " << r.output;
    for (const auto& [path, bytes] : contents) {
      const auto now = test::ReadBytes(path);
      if (std::string(action) == "lock")
        EXPECT_TRUE(test::IsLockedFormOf(now, bytes, "Abc1")) << path;
      else
        EXPECT_EQ(now, bytes) << path;
    }
    for (const auto& e : fs::recursive_directory_iterator(dir / "tree"))
      EXPECT_TRUE(e.is_directory() || contents.contains(e.path())) << "left: " << e.path();
  }
}

// Why this system has no pseudo-terminal to offer (a container without
// /dev/pts), or nothing when it has.
std::optional<std::string> NoTerminal() {
  int master = -1, slave = -1;
  if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0)
    return std::string("no pseudo-terminal here (/dev/ptmx, /dev/pts): ") + std::strerror(errno);
  ::close(master);
  ::close(slave);
  return std::nullopt;
}

// Reads from the terminal's master side until `text` has come.
bool ReadUntil(int master, const std::string& text) {
  std::string seen;
  const auto until = std::chrono::steady_clock::now() + test::kPatience;
  while (seen.find(text) == std::string::npos && std::chrono::steady_clock::now() < until) {
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 20) <= 0) continue;
    char buf[256];
    const ssize_t n = ::read(master, buf, sizeof buf);
    if (n <= 0) return false;
    seen.append(buf, static_cast<std::size_t>(n));
  }
  return seen.find(text) != std::string::npos;
}

TEST(Process, CtrlCAtThePasswordPromptGivesTheEchoBack) {
  if (const auto why = NoTerminal()) GTEST_SKIP() << *why;
  test::ScratchDir dir;
  test::WriteBytes(dir / "f", test::RandomBytes(900, 2));
  int master = -1;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::execl(SEALDOOR_CLI, SEALDOOR_CLI, "lock", (dir / "f").c_str(), nullptr);
    ::_exit(127);
  }
  ASSERT_TRUE(ReadUntil(master, "Password: ")) << "no password prompt within a minute";
  termios t{};
  ASSERT_EQ(::tcgetattr(master, &t), 0);
  EXPECT_FALSE(t.c_lflag & ECHO);  // while it asks
  (void)!::write(master, "\x03", 1);  // Ctrl-C
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  ASSERT_EQ(::tcgetattr(master, &t), 0);
  EXPECT_TRUE(t.c_lflag & ECHO);
  ::close(master);
}

// Characters, not bytes, of UTF-8 text.
std::size_t Characters(const std::string& s) {
  std::size_t n = 0;
  for (const char c : s) n += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return n;
}

TEST(Process, TheProgressLineFitsTheTerminal) {
  if (const auto why = NoTerminal()) GTEST_SKIP() << *why;
  test::ScratchDir dir;
  const std::string name = std::string(60, 'n') + "-report.pdf";  // 71 characters
  test::WriteBytes(dir / name, test::RandomBytes(1 << 20, 4));
  int master = -1;
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 78;
  const pid_t pid = ::forkpty(&master, nullptr, nullptr, &size);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::chdir(dir.Path().c_str()) != 0) ::_exit(126);
    ::execl(SEALDOOR_CLI, SEALDOOR_CLI, "lock", "--password-stdin", name.c_str(), nullptr);
    ::_exit(127);
  }
  (void)!::write(master, "Abc1\n", 5);
  std::string out;
  char buf[4096];
  for (ssize_t n; (n = ::read(master, buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
  int status = 0;
  ::waitpid(pid, &status, 0);
  ::close(master);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= out.size(); ++i) {
    if (i < out.size() && out[i] != '\r' && out[i] != '\n') continue;
    const std::string line = out.substr(start, i - start);
    start = i + 1;
    if (!line.starts_with("Locking ")) continue;
    lines.push_back(line);
    EXPECT_LT(Characters(line), 78u) << line;  // one column spare: the terminal never wraps
    EXPECT_NE(line.find("nnn\u2026nnn"), std::string::npos) << line;  // the name cut in its middle
  }
  ASSERT_FALSE(lines.empty()) << out;
  EXPECT_TRUE(lines.back().ends_with("-report.pdf  100%  (all 100%)")) << lines.back();
}

// Whether process `pid` waits in a read of its standard input, as the
// kernel's /proc/PID/syscall tells: the number of the call, then its
// arguments, the file descriptor first.
bool ReadingStandardInput(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/syscall");
  long call = -1;
  std::string fd;
  return in >> call >> fd && call == SYS_read && fd == "0x0";
}

TEST(Process, APasswordHoldingProcessCannotBeDumped) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the tool as another user";
  if (!std::ifstream("/proc/self/syscall")) GTEST_SKIP() << "no /proc/PID/syscall here to see a process wait";
  test::ScratchDir dir;
  int in[2];
  ASSERT_EQ(::pipe(in), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::close(in[1]);
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(126);
    ::execl(SEALDOOR_CLI, SEALDOOR_CLI, "lock", "--password-stdin", (dir / "f").c_str(), nullptr);
    ::_exit(127);
  }
  ::close(in[0]);
  // Once it waits for its password, it is as it will be while it holds
  // one. An ordinary process of user 65534 owns the files of its /proc
  // entry; one that may not be dumped leaves them to root.
  const bool waiting = test::WaitFor([&] { return ReadingStandardInput(pid); });
  struct stat st {};
  const int seen = ::stat(("/proc/" + std::to_string(pid) + "/status").c_str(), &st);
  ::close(in[1]);
  ::waitpid(pid, nullptr, 0);
  ASSERT_TRUE(waiting) << "sealdoor-cli did not wait for its password within a minute";
  ASSERT_EQ(seen, 0);
  EXPECT_EQ(st.st_uid, 0u);
}

TEST(Process, ThePasswordLineIsAllItTakesFromStandardInput) {
  test::ScratchDir dir;
  test::WriteBytes(dir / "f", test::RandomBytes(900, 3));
  test::WriteBytes(dir / "input", {'A', 'b', 'c', '1', '\n', 'R', 'E', 'S', 'T', '\n'});
  const auto r = test::RunShell("{ '" + std::string(SEALDOOR_CLI) + "' lock --password-stdin " + Quote(dir / "f") +
                                "; cat; } < " + Quote(dir / "input"));
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.output, "REST\n");
}

}  // namespace
}  // namespace sealdoor
