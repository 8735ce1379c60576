// sealdoor-cli.exe as a Windows user runs it: names in any script arrive
// whole through its wide command line and come back whole in its output.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "../../engine/test_support.h"
#include "../cli_runner.h"
#include "engine/format.h"
#include "engine/path_text.h"
#include "engine/win32/windows_h.h"

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

TEST(Cli, KilledMidwayLeavesTheFileWholeAndNoWorkingFile) {
  test::ScratchDir dir;
  const auto big = dir / "big.bin";
  const auto plain = test::RandomBytes(64 << 20, 5);
  test::WriteBytes(big, plain);
  // Started by hand, to be stopped as Task Manager stops a program: at once.
  std::atomic<bool> done{false};
  std::thread run([&] {
    (void)test::RunCli({"lock", "--password-stdin", "big.bin"}, "Abc1\n", dir.Path());
    done = true;
  });
  bool killed = false;
  for (int i = 0; i < 2000 && !done && !killed; ++i) {
    for (const auto& name : dir.Names()) {
      if (!name.starts_with(".sealdoor-")) continue;
      killed = test::KillCliProcesses();
      break;
    }
    ::Sleep(1);
  }
  run.join();
  EXPECT_TRUE(killed) << "it finished before it could be stopped";
  const auto now = test::ReadBytes(big);
  EXPECT_TRUE(now == plain || (now.size() == plain.size() + 702 && format::IsLocked(now)));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"big.bin"});
}

}  // namespace
}  // namespace sealdoor
