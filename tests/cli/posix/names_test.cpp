// What sealdoor-cli prints of names a terminal must not take as its own
// commands, and of output it cannot write: POSIX names and devices.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "../../engine/test_support.h"
#include "../cli_runner.h"
#include "support/run_shell.h"

namespace sealdoor {
namespace {

TEST(Cli, NamesWithControlCharactersAreEscapedAsLsDoes) {
  test::ScratchDir dir;
  const std::string evil = "x\x1b]0;pwned\x07\x1b[2Jy";  // sets the title and clears the screen
  const std::string twoLines = "a\nb: locked";
  test::WriteBytes(dir / evil, test::RandomBytes(800, 5));
  test::WriteBytes(dir / twoLines, test::RandomBytes(800, 6));
  test::WriteBytes(dir / "it's here", test::RandomBytes(800, 7));
  const auto r = test::RunCli({"status", evil, twoLines, "it's here"}, "", dir.Path());
  EXPECT_EQ(r.out,
            "'x'$'\\E'']0;pwned'$'\\a'$'\\E''[2Jy': not locked\n"
            "'a'$'\\n''b: locked': not locked\n"
            "'it'\\''s here': not locked\n");
  const auto locked = test::RunCli({"lock", "--password-stdin", evil}, "Abc1\n", dir.Path());
  EXPECT_EQ(locked.exitCode, 0);
  const auto again = test::RunCli({"lock", "--password-stdin", evil}, "Abc1\n", dir.Path());
  EXPECT_EQ(again.err, "sealdoor-cli: 'x'$'\\E'']0;pwned'$'\\a'$'\\E''[2Jy' is already locked !\n");
}

TEST(Cli, OutputThatCannotBeWrittenIsAnError) {
  test::ScratchDir dir;
  test::WriteBytes(dir / "a", test::RandomBytes(900, 1));
  const auto r = test::RunShell("'" + std::string(SEALDOOR_CLI) + "' status '" + (dir / "a").string() +
                                "' >/dev/full 2>/dev/null");
  EXPECT_EQ(r.exitCode, 2);
}

TEST(Cli, StatusLooksAtWhatANameIsBeforeOpeningIt) {
  test::ScratchDir dir;
  // A FIFO whose writer waits for a reader: status must not be that reader,
  // or the writer's message goes into it and is lost.
  const auto fifo = dir / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const pid_t writer = ::fork();
  if (writer == 0) {
    const int fd = ::open(fifo.c_str(), O_WRONLY);  // waits for a reader
    (void)!::write(fd, "message", 7);
    ::_exit(0);
  }
  const auto r = test::RunCli({"status", "pipe", "/proc/self/status"}, "", dir.Path());
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.err,
            "sealdoor-cli: 'pipe': it is not a regular file\n"
            "sealdoor-cli: '/proc/self/status': it is not a file on a disk but a view of the running system (like "
            "everything under /proc and /sys)\n");
  // The writer still waits, and its message reaches its reader whole.
  const int fd = ::open(fifo.c_str(), O_RDONLY);
  char got[16] = {};
  std::size_t n = 0;
  for (ssize_t k; n < 7 && (k = ::read(fd, got + n, sizeof got - 1 - n)) > 0;) n += static_cast<std::size_t>(k);
  ::close(fd);
  ::waitpid(writer, nullptr, 0);
  EXPECT_EQ(std::string(got, n), "message");
}

}  // namespace
}  // namespace sealdoor
