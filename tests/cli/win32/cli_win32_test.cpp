// sealdoor-cli.exe as a Windows user runs it: names in any script arrive
// whole through its wide command line and come back whole in its output.

#include <gtest/gtest.h>

#include "../../engine/test_support.h"
#include "../cli_runner.h"
#include "engine/format.h"
#include "engine/path_text.h"

namespace sealdoor {
namespace {

TEST(Cli, NamesInAnyScript) {
  test::ScratchDir dir;
  const std::string name = "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb-\xe6\x96\x87\xe4\xbb\xb6.txt";
  const auto file = dir.Path() / PathFromText(name);
  const auto plain = test::RandomBytes(2000, 4);
  test::WriteBytes(file, plain);
  auto r = test::RunCli({"lock", "--password-stdin", name}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(format::IsLocked(test::ReadBytes(file)));
  r = test::RunCli({"status", name}, "", dir.Path());
  EXPECT_EQ(r.out, name + ": locked\n");
  r = test::RunCli({"unlock", "--password-stdin", name}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(test::ReadBytes(file), plain);
}

TEST(Cli, AFolderIsRefused) {
  test::ScratchDir dir;
  std::filesystem::create_directory(dir / "folder");
  const auto r = test::RunCli({"lock", "--password-stdin", "folder"}, "Abc1\n", dir.Path());
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.err, "sealdoor-cli: 'folder' could not be locked: it is a folder\n");
}

}  // namespace
}  // namespace sealdoor
