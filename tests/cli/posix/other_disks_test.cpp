// sealdoor-cli on the other file systems a desktop meets, each made in an
// image and mounted (as root): exFAT and FAT as removable disks have them
// (no nameless files, no extended attributes, no second names), XFS and
// Btrfs. Kills at any moment leave every file whole and a later run leaves
// nothing of ours; what `chattr` sets is kept, or the file refused before
// any work when it cannot be replaced at all.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../../engine/test_support.h"
#include "cli_process.h"
#include "engine/format.h"
#include "engine/temp_names.h"
#include "support/loop_disk.h"
#include "support/run_shell.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kPassword = "Disk7";

TEST(OtherDisks, KilledRunsLeaveEveryFileWholeAndALaterRunNothing) {
  const char* env = std::getenv("SEALDOOR_CRASH_KILLS");
  const int rounds = env ? std::atoi(env) / 20 + 1 : 4;
  std::mt19937 gen(1210);
  int tested = 0;
  for (const char* type : {"exfat", "vfat", "xfs", "btrfs"}) {
    test::LoopDisk disk(type);
    if (disk.Unavailable()) {
      std::printf("%s: not tested here: %s\n", type, disk.Unavailable()->c_str());
      continue;
    }
    ++tested;
    const fs::path dir = disk.Mount() / "batch";
    fs::create_directories(dir);
    std::vector<std::string> names;
    std::vector<Bytes> plain;
    for (int i = 0; i < 30; ++i) {
      names.push_back("file" + std::to_string(i) + ".doc");
      plain.push_back(test::RandomBytes(i == 7 ? (3u << 20) : 1000u + static_cast<unsigned>(i) * 97, 600u + static_cast<unsigned>(i)));
    }
    auto reset = [&] {
      for (std::size_t i = 0; i < names.size(); ++i) test::WriteBytes(dir / names[i], plain[i]);
    };
    reset();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(test::WaitCli(test::StartCli("lock", dir, names, kPassword)), 0) << type;
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    int locked = 0, leftovers = 0;
    for (int r = 0; r < rounds; ++r) {
      reset();
      const pid_t pid = test::StartCli("lock", dir, names, kPassword, r % 2 == 1 ? 5 : 0);
      std::this_thread::sleep_for(
          std::chrono::microseconds(std::uniform_int_distribution<std::int64_t>(0, span.count())(gen)));
      ::kill(pid, SIGKILL);
      test::WaitCli(pid);
      for (std::size_t i = 0; i < names.size(); ++i) {
        const Bytes now = test::ReadBytes(dir / names[i]);
        if (test::IsLockedFormOf(now, plain[i], kPassword))
          ++locked;
        else
          EXPECT_EQ(now, plain[i]) << type << ", round " << r << ": " << names[i] << " is neither whole form";
      }
      if (!test::Housekeeping(dir).empty()) ++leftovers;
      // A later run in the folder finishes the work and leaves nothing.
      test::WaitCli(test::StartCli("lock", dir, names, kPassword));
      EXPECT_EQ(test::Housekeeping(dir), std::vector<std::string>{}) << type << ", round " << r;
      for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_TRUE(test::IsLockedFormOf(test::ReadBytes(dir / names[i]), plain[i], kPassword)) << type << " " << names[i];
    }
    std::printf("%s: %d kills, %d files locked when killed, %d kills left files of ours for the next run\n", type,
                rounds, locked, leftovers);
  }
  if (tested == 0) GTEST_SKIP() << "no other file system could be made here";
}

// What `lsattr` shows of a file: its flags and its project.
std::string Lsattr(const fs::path& p) {
  auto r = test::RunShell("lsattr -p -d '" + p.string() + "' 2>&1");
  return r.output.substr(0, r.output.find(' ', r.output.find_first_not_of(' ') + 1));
}

TEST(OtherDisks, WhatChattrSetsIsKept) {
  struct Case {
    const char* type;
    const char* set;  // arguments of chattr
  };
  const Case cases[] = {{"ext4", "+d +A +S"}, {"btrfs", "+C"}, {"xfs", "-p 4242"}};
  int tested = 0;
  for (const Case& c : cases) {
    test::LoopDisk disk(c.type, 300);
    if (disk.Unavailable()) continue;
    ++tested;
    const fs::path f = disk.Mount() / "kept.doc";
    test::WriteBytes(f, {});  // copy-on-write may only be turned off while a file is empty
    ASSERT_EQ(test::RunShell(std::string("chattr ") + c.set + " '" + f.string() + "'").exitCode, 0) << c.type;
    const Bytes plain = test::RandomBytes(100000, 3);
    test::WriteBytes(f, plain);
    const std::string before = Lsattr(f);
    ASSERT_EQ(test::WaitCli(test::StartCli("lock", f, kPassword)), 0) << c.type;
    EXPECT_EQ(Lsattr(f), before) << c.type << " " << c.set;
    ASSERT_EQ(test::WaitCli(test::StartCli("unlock", f, kPassword)), 0) << c.type;
    EXPECT_EQ(Lsattr(f), before) << c.type << " " << c.set;
    EXPECT_EQ(test::ReadBytes(f), plain);
  }
  if (tested == 0) GTEST_SKIP() << "no disk of those file systems could be made here";
}

TEST(OtherDisks, RootKeepsTrustedAttributes) {
  test::LoopDisk disk("ext4");
  if (disk.Unavailable()) GTEST_SKIP() << *disk.Unavailable();
  const fs::path f = disk.Mount() / "f.doc";
  test::WriteBytes(f, test::RandomBytes(5000, 4));
  ASSERT_EQ(test::RunShell("setfattr -n trusted.sealdoor-test -v kept '" + f.string() + "'").exitCode, 0);
  ASSERT_EQ(test::WaitCli(test::StartCli("lock", f, kPassword)), 0);
  const auto r = test::RunShell("getfattr --absolute-names --only-values -n trusted.sealdoor-test '" + f.string() + "'");
  EXPECT_EQ(r.output, "kept");
}

TEST(OtherDisks, WhatCannotBeReplacedIsRefusedBeforeAnyWork) {
  test::LoopDisk disk("ext4");
  if (disk.Unavailable()) GTEST_SKIP() << *disk.Unavailable();
  const fs::path dir = disk.Mount();
  fs::create_directories(dir / "appendonly");
  struct Case {
    fs::path file;
    const char* chattr;  // on the file, or on its folder for "appendonly"
    std::string reason;
  };
  const Case cases[] = {
      {dir / "frozen.doc", "+i", "it is marked unchangeable (immutable, see lsattr), so it cannot be rewritten"},
      {dir / "log.txt", "+a", "it is marked append-only (see lsattr), so it cannot be rewritten"},
      {dir / "appendonly" / "f.doc", "+a", "its folder is marked append-only (see lsattr), so no file in it can be replaced"},
  };
  for (const Case& c : cases) {
    const Bytes plain = test::RandomBytes(4000, 5);
    test::WriteBytes(c.file, plain);
    const fs::path marked = c.file.parent_path() == dir ? c.file : c.file.parent_path();
    ASSERT_EQ(test::RunShell(std::string("chattr ") + c.chattr + " '" + marked.string() + "'").exitCode, 0);
    const auto r = test::RunShell(std::string("echo ") + kPassword + " | " + SEALDOOR_CLI + " lock --password-stdin '" +
                                  c.file.string() + "' 2>&1");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "sealdoor-cli: '" + c.file.string() + "' could not be locked: " + c.reason + "\n");
    EXPECT_EQ(test::Housekeeping(c.file.parent_path()), std::vector<std::string>{});
    test::RunShell(std::string("chattr -") + (c.chattr + 1) + " '" + marked.string() + "'");
    EXPECT_EQ(test::ReadBytes(c.file), plain);
  }
}

}  // namespace
}  // namespace sealdoor
