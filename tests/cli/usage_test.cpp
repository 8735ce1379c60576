// sealdoor-cli as scripts see it: its exit status, its messages, `status`.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "../engine/test_support.h"

namespace sealdoor {
namespace {

// sealdoor-cli ARGS with INPUT on its standard input; output and errors together.
test::CommandResult Cli(const std::string& args, const std::string& input) {
  return test::RunShell("printf '%s' '" + input + "' | " + SEALDOOR_CLI + " " + args + " 2>&1");
}

TEST(Cli, ExitStatusAndMessages) {
  test::ScratchDir dir;
  const std::string a = (dir / "a.txt").string(), b = (dir / "b.txt").string();
  test::WriteBytes(a, test::RandomBytes(900, 1));
  test::WriteBytes(b, test::RandomBytes(10, 2));
  struct Case {
    std::string args, input;
    int code;
    std::string out;  // expected start of the output
  };
  const std::vector<Case> cases = {
      {"", "", 2, "Usage: sealdoor-cli"},
      {"lock", "", 2, "sealdoor-cli: no FILE given"},
      {"shred " + a, "", 2, "Usage: sealdoor-cli"},
      {"lock --force " + a, "", 2, "sealdoor-cli: unknown option --force"},
      {"lock --password-stdin " + a, "a b\n", 2, "sealdoor-cli: the password must be 1 to 24 letters or digits"},
      {"lock --password-stdin " + a, std::string(25, 'x') + "\n", 2, "sealdoor-cli: the password must be"},
      {"lock " + a + " " + b + " --password-stdin", "Abc1\n", 0, ""},  // options may follow the files
      {"status " + a + " " + b, "", 0, a + ": locked\n" + b + ": locked\n"},
      {"lock --password-stdin " + a, "Abc1\n", 1, "sealdoor-cli: '" + a + "' is already locked !"},
      {"unlock --password-stdin " + a, "abc1\n", 1, "sealdoor-cli: Invalid password !"},
      {"unlock --password-stdin " + a + " " + b, "Abc1\n", 0, ""},
      {"status " + a, "", 0, a + ": not locked\n"},
      {"unlock --password-stdin " + a, "Abc1\n", 1, "sealdoor-cli: '" + a + "' is not a locked file !"},
      {"status " + (dir / "missing").string(), "", 1, "sealdoor-cli: '" + (dir / "missing").string() + "': No such file"},
      {"--help", "", 0, "Usage: sealdoor-cli"},
  };
  for (const auto& c : cases) {
    const auto o = Cli(c.args, c.input);
    EXPECT_EQ(o.exitCode, c.code) << c.args << "\n" << o.output;
    EXPECT_TRUE(o.output.starts_with(c.out)) << c.args << "\n" << o.output;
  }
}

}  // namespace
}  // namespace sealdoor
