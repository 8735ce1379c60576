// sealdoor-cli as scripts see it: options, exit statuses, messages, status.

#include <gtest/gtest.h>

#include "../engine/test_support.h"
#include "cli_runner.h"
#include "engine/file_head.h"
#include "text/notices.h"

namespace sealdoor {
namespace {

const std::string kTryHelp = "Try 'sealdoor-cli --help' for more information.\n";
const std::string kPasswordAdvice = " (type the password it was locked with; case counts)";

TEST(Cli, OptionsExitStatusesAndMessages) {
  test::ScratchDir dir;
  test::WriteBytes(dir / "a", test::RandomBytes(900, 1));
  test::WriteBytes(dir / "b", test::RandomBytes(10, 2));
  test::WriteBytes(dir / "-h", test::RandomBytes(800, 3));
  test::WriteBytes(dir / "--password-stdin", test::RandomBytes(800, 4));
  struct Case {
    std::vector<std::string> args;
    std::string input;
    int code;
    std::string out, err;
  };
  const std::vector<Case> cases = {
      {{}, "", 2, "", "sealdoor-cli: no command given (lock, unlock, status or edit)\n" + kTryHelp},
      {{"lock"}, "", 2, "", "sealdoor-cli: no FILE given\n" + kTryHelp},
      {{"edit", "a", "b"}, "", 2, "", "sealdoor-cli: edit takes one FILE\n" + kTryHelp},
      {{"edit", "-r", "a"}, "", 2, "", "sealdoor-cli: edit takes one FILE, not folders\n" + kTryHelp},
      {{"shred", "a"}, "", 2, "", "sealdoor-cli: unknown command 'shred' (lock, unlock, status or edit)\n" + kTryHelp},
      {{"lock", "--force", "a"}, "", 2, "",
       "sealdoor-cli: unknown option '--force' (a FILE whose name starts with \"-\" goes after \"--\")\n" + kTryHelp},
      // `lock *` with a file named -h: refused, not the usage with status 0.
      {{"lock", "-h", "a"}, "", 2, "",
       "sealdoor-cli: unknown option '-h' (a FILE whose name starts with \"-\" goes after \"--\")\n" + kTryHelp},
      {{"lock", "--password-stdin", "a"}, "a b\n", 2, "", "sealdoor-cli: the password must be 1 to 24 letters or digits\n"},
      {{"lock", "--password-stdin", "a"}, std::string(25, 'x') + "\n", 2, "",
       "sealdoor-cli: the password must be 1 to 24 letters or digits\n"},
      {{"status", "a", "b"}, "", 1, "a: not locked\nb: not locked\n", ""},
      {{"lock", "--password-stdin", "a", "b"}, "Abc1\n", 0, "", ""},
      {{"status", "a", "b"}, "", 0, "a: locked\nb: locked\n", ""},
      {{"status", "--quiet", "a", "b"}, "", 0, "", ""},
      {{"status", "--quiet", "a", "-h"}, "", 1, "", ""},  // options only before the first FILE
      {{"status", "a", "missing"}, "", 2, "a: locked\n",
       "sealdoor-cli: 'missing': " + text::Reason(ReadFileHead(dir / "missing").error()) + "\n"},
      {{"lock", "--password-stdin", "a"}, "Abc1\n", 1, "", "sealdoor-cli: 'a' is already locked !\n"},
      // Every message names its file.
      {{"unlock", "--password-stdin", "a", "b"}, "abc1\n", 1, "",
       "sealdoor-cli: 'a': Invalid password !" + kPasswordAdvice + "\nsealdoor-cli: 'b': Invalid password !" +
           kPasswordAdvice + "\n"},
      {{"unlock", "--password-stdin", "a", "b"}, "Abc1\n", 0, "", ""},
      {{"unlock", "--password-stdin", "a"}, "Abc1\n", 1, "", "sealdoor-cli: 'a' is not a locked file !\n"},
      {{"lock", "--password-stdin", "--", "-h", "--password-stdin"}, "Abc1\n", 0, "", ""},
      {{"status", "--", "-h", "--password-stdin"}, "", 0, "-h: locked\n--password-stdin: locked\n", ""},
      {{"--version"}, "", 0, "sealdoor-cli 1.01\n", ""},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const auto& a : c.args) shown += a + " ";
    const auto r = test::RunCli(c.args, c.input, dir.Path());
    EXPECT_EQ(r.exitCode, c.code) << shown << "\n" << r.err;
    EXPECT_EQ(r.out, c.out) << shown;
    EXPECT_EQ(r.err, c.err) << shown;
  }
  const auto help = test::RunCli({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: sealdoor-cli lock|unlock|status [OPTION...] [--] FILE...\n"));
}

}  // namespace
}  // namespace sealdoor
