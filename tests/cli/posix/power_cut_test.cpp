// Power cuts, on a disk that keeps a file's content only once the file is
// synced (the project's powercut-fs, a FUSE file system: what users meet
// with NTFS drives, sshfs or encrypted folders behaves alike). After a cut
// right after a run said it was done, every file is its new form; after a
// cut at any moment of a run that was killed, every file is its original or
// its complete new form. Either way a later run in the folder leaves
// nothing of ours behind. SEALDOOR_POWER_CUT_ROUNDS sets the kill rounds
// (a long run: scripts/reliability).

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../../engine/test_support.h"
#include "cli_process.h"
#include "engine/temp_names.h"
#include "support/powercut_disk.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kPassword = "Power1";

struct DiskKind {
  const char* name;
  std::vector<std::string> options;
};

const DiskKind kDisks[] = {
    {"names kept at once", {}},
    {"names kept only with their folder's sync", {"--names-need-folder-sync"}},
    {"no extended attributes, no second names", {"--no-xattr", "--no-hardlinks"}},
};

#define SKIP_WITHOUT_A_DISK()                                                   \
  if (const auto why = test::PowerCutDisk::Unavailable()) GTEST_SKIP() << *why; \
  static_assert(true)

// Files of every length class, written straight to the disk: on it before
// the power goes, as files that were there long before.
struct Batch {
  std::vector<std::string> names;
  std::vector<Bytes> plain;

  Batch(const fs::path& folder, int count, unsigned seed) {
    fs::create_directories(folder);
    const std::size_t sizes[] = {0, 1, 53, 54, 701, 702, 4096, 5000, 70000};
    for (int i = 0; i < count; ++i) {
      names.push_back("file" + std::to_string(i) + (i % 3 == 0 ? ".txt" : ".dat"));
      plain.push_back(test::RandomBytes(sizes[static_cast<std::size_t>(i) % std::size(sizes)],
                                        seed + static_cast<unsigned>(i)));
      test::WriteBytes(folder / names.back(), plain.back());
    }
  }

  // How many files are locked; every other file must be its original.
  int CountLocked(const fs::path& folder, const char* when) const {
    int locked = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
      const Bytes now = test::ReadBytes(folder / names[i]);
      if (test::IsLockedFormOf(now, plain[i], kPassword))
        ++locked;
      else
        EXPECT_EQ(now, plain[i]) << when << ": " << names[i] << " is neither its original nor its locked form";
    }
    return locked;
  }
};

TEST(PowerCut, ARunThatSaidItWasDoneIsOnTheDisk) {
  SKIP_WITHOUT_A_DISK();
  for (const DiskKind& kind : kDisks) {
    for (const int count : {1, 20, 300}) {
      const std::string what = std::string(kind.name) + ", " + std::to_string(count) + " files";
      test::PowerCutDisk disk(kind.options);
      const Batch batch(disk.Disk() / "batch", count, 40);
      ASSERT_TRUE(disk.Start());
      ASSERT_EQ(test::WaitCli(test::StartCli("lock", disk.Mount() / "batch", batch.names, kPassword)), 0) << what;
      disk.Cut();
      EXPECT_EQ(batch.CountLocked(disk.Disk() / "batch", "locked, then cut"), count) << what;

      ASSERT_TRUE(disk.Start());
      ASSERT_EQ(test::WaitCli(test::StartCli("unlock", disk.Mount() / "batch", batch.names, kPassword)), 0) << what;
      disk.Cut();
      EXPECT_EQ(batch.CountLocked(disk.Disk() / "batch", "unlocked, then cut"), 0) << what;
      // At most the run's journal may come back (its removal is not synced),
      // and the next run in the folder removes it.
      for (const std::string& name : test::Housekeeping(disk.Disk() / "batch"))
        EXPECT_TRUE(name.ends_with(".journal")) << what << ": " << name;
      ASSERT_TRUE(disk.Start());
      ASSERT_EQ(test::WaitCli(test::StartCli("lock", disk.Mount() / "batch", {batch.names[0]}, kPassword)), 0) << what;
      EXPECT_EQ(test::Housekeeping(disk.Mount() / "batch"), std::vector<std::string>{}) << what;
      disk.Cut();
    }
  }
}

TEST(PowerCut, KilledAtAnyMomentThenCutEveryFileIsWhole) {
  SKIP_WITHOUT_A_DISK();
  const char* env = std::getenv("SEALDOOR_POWER_CUT_ROUNDS");
  const int rounds = env ? std::atoi(env) : 4;
  std::mt19937 gen(20261210);
  int locked = 0, files = 0, leftovers = 0;
  for (const DiskKind& kind : kDisks) {
    test::PowerCutDisk disk(kind.options);
    const Batch batch(disk.Disk() / "batch", 60, 70);
    // How long an uninterrupted run takes, within which the kills fall.
    ASSERT_TRUE(disk.Start());
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(test::WaitCli(test::StartCli("lock", disk.Mount() / "batch", batch.names, kPassword)), 0);
    const auto span = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    ASSERT_EQ(test::WaitCli(test::StartCli("unlock", disk.Mount() / "batch", batch.names, kPassword)), 0);
    for (int r = 0; r < rounds; ++r) {
      const std::string what = std::string(kind.name) + ", round " + std::to_string(r);
      // Groups of a few files in every other round, so that kills fall
      // between commits and inside them, not only before the one commit of
      // a small batch.
      const pid_t pid = test::StartCli("lock", disk.Mount() / "batch", batch.names, kPassword, r % 2 == 1 ? 7 : 0);
      std::this_thread::sleep_for(
          std::chrono::microseconds(std::uniform_int_distribution<std::int64_t>(0, span.count())(gen)));
      ::kill(pid, SIGKILL);
      test::WaitCli(pid);
      disk.Cut();
      locked += batch.CountLocked(disk.Disk() / "batch", what.c_str());
      files += static_cast<int>(batch.names.size());
      if (!test::Housekeeping(disk.Disk() / "batch").empty()) ++leftovers;

      // The machine back: a later run finishes the work, unlocks it all
      // again, and leaves nothing behind.
      ASSERT_TRUE(disk.Start());
      test::WaitCli(test::StartCli("lock", disk.Mount() / "batch", batch.names, kPassword));
      EXPECT_EQ(test::WaitCli(test::StartCli("unlock", disk.Mount() / "batch", batch.names, kPassword)), 0) << what;
      EXPECT_EQ(test::Housekeeping(disk.Mount() / "batch"), std::vector<std::string>{}) << what;
      EXPECT_EQ(batch.CountLocked(disk.Mount() / "batch", what.c_str()), 0);
    }
  }
  std::printf("%d kills then cuts: %d of %d files were locked at the cut, %d cuts left files of ours for a later run\n",
              rounds * static_cast<int>(std::size(kDisks)), locked, files, leftovers);
}

}  // namespace
}  // namespace sealdoor
