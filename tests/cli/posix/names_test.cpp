// What sealdoor-cli prints of names a terminal must not take as its own
// commands, and of output it cannot write: POSIX names and devices.

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace sealdoor
