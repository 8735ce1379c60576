// A failing disk, as the C library's own calls see it (a library preloaded
// into sealdoor-cli makes one kind of call fail): a sync that reports an
// input/output error, a full disk in the middle of a write or a
// reservation, a rename or a link that fails. Every file is then either
// locked or exactly as it was, each one that was not locked is told of, the
// exit status says so, and nothing of ours is left in the folder.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "../../engine/test_support.h"
#include "cli_process.h"
#include "engine/temp_names.h"
#include "support/powercut_disk.h"
#include "support/run_shell.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kPassword = "Faulty9";

struct Case {
  const char* fault;     // SEALDOOR_FAULT
  bool fuse;             // on a FUSE disk (no nameless files, each file synced alone) or a local one
  int locked;            // how many of the files end up locked (-1: any)
  bool folderUnconfirmed = false;  // every file locked, but the folder's sync failed
};

// Environment variables for one run, put back afterwards.
class Env {
 public:
  void Set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
    ::setenv(name, value.c_str(), 1);
  }
  ~Env() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
      if (it->second)
        ::setenv(it->first, it->second->c_str(), 1);
      else
        ::unsetenv(it->first);
    }
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_;
};

TEST(SystemFaults, EachFileIsLockedOrAsItWasAndNothingIsLeft) {
  const bool fuse = !test::PowerCutDisk::Unavailable();
  // Twenty small files and one large enough to have its space reserved and
  // its write-back waited for on the way.
  const int n = 21;
  const Case cases[] = {
      {"syncfs:EIO:*", false, n},                  // each file's own sync then tells: all fine
      {"syncfs:EIO:*,fsync:EIO:*", false, 0},
      // The batch's last sync of the file system, which carries the
      // folder's new names: failing, the folder is synced on its own...
      {"syncfs:EIO:2", false, n},
      // ...and where that fails too, every file is in place but the run
      // says the folder was not confirmed.
      {"syncfs:EIO:2,fsync:EIO:*", false, n, true},
      {"pwrite:ENOSPC:3", false, n - 1},
      // A write-back of the large file that fails while it is waited for:
      // the kernel reports it to that wait only.
      {"sync_file_range:EIO:1", false, n - 1},
      {"fallocate:ENOSPC:*", false, n - 1},
      {"renameat2:EIO:1", false, n - 1},
      {"linkat:EIO:*", false, 0},
      {"fsync:EIO:1", true, n - 1},                // the journal's sync: the first file gets no working file
      {"fsync:EIO:4", true, -1},
      {"write:ENOSPC:*", true, 0},
      {"renameat:EIO:*,renameat2:EIO:*", true, 0},
      // A file's flags that cannot be read would be lost: the file is
      // refused before any work (the first read is its folder's).
      {"ioctl:EIO:1", false, n - 1},
      {"ioctl:EIO:2", false, n - 1},
  };
  for (const Case& c : cases) {
    if (c.fuse && !fuse) continue;  // no FUSE here: the local cases still run
    const std::string what = std::string(c.fault) + (c.fuse ? " on FUSE" : " on a local disk");
    std::optional<test::PowerCutDisk> disk;
    std::optional<test::ScratchDir> local;
    fs::path dir;
    if (c.fuse) {
      ASSERT_TRUE(disk.emplace().Start());
      dir = disk->Mount();
    } else {
      dir = local.emplace().Path();
    }
    std::vector<std::string> names;
    std::vector<Bytes> plain;
    for (int i = 0; i < n; ++i) {
      names.push_back("f" + std::to_string(i));
      plain.push_back(test::RandomBytes(i == n - 1 ? (20u << 20) : 4096, static_cast<unsigned>(i) + 90));
      test::WriteBytes(dir / names.back(), plain.back());
    }
    const fs::path report = fs::temp_directory_path() / ("sealdoor-fault-report-" + std::to_string(::getpid()));
    int code = 0;
    {
      Env env;
      env.Set("LD_PRELOAD", SEALDOOR_FAULT_PRELOAD);
      env.Set("SEALDOOR_FAULT", c.fault);
      env.Set("SEALDOOR_FAULT_REPORT", report.string());
      env.Set("ASAN_OPTIONS", "verify_asan_link_order=0");
      code = test::WaitCli(test::StartCli("lock", dir, names, kPassword));
    }
    long injected = 0;
    std::ifstream(report) >> injected;
    fs::remove(report);
    EXPECT_GT(injected, 0) << what << ": the fault never came";

    int locked = 0;
    for (int i = 0; i < n; ++i) {
      const Bytes now = test::ReadBytes(dir / names[static_cast<std::size_t>(i)]);
      if (test::IsLockedFormOf(now, plain[static_cast<std::size_t>(i)], kPassword))
        ++locked;
      else
        EXPECT_EQ(now, plain[static_cast<std::size_t>(i)]) << what << ": " << names[static_cast<std::size_t>(i)];
    }
    if (c.locked >= 0) {
      EXPECT_EQ(locked, c.locked) << what;
    }
    EXPECT_EQ(code, locked == n && !c.folderUnconfirmed ? 0 : 1) << what;
    for (const auto& e : fs::directory_iterator(dir))
      EXPECT_FALSE(IsHousekeepingName(e.path().filename().string())) << what << ": left " << e.path().filename();
  }
}

TEST(SystemFaults, FormerVersionsThatWillNotGoAreToldOfAndGoWithTheNextRun) {
  // Every removal fails: each file is locked all the same, each message
  // says that its former version stays hidden, the run is no success; the
  // next run in the folder removes what stayed.
  test::ScratchDir dir;
  const std::vector<std::string> names{"a.doc", "b.doc"};
  for (const auto& n : names) test::WriteBytes(dir / n, test::RandomBytes(3000, 5));
  const auto r = test::RunShell("cd '" + dir.Path().string() + "' && echo Faulty9 | LD_PRELOAD='" +
                                SEALDOOR_FAULT_PRELOAD +
                                "' SEALDOOR_FAULT=unlinkat:EIO:* ASAN_OPTIONS=verify_asan_link_order=0 '" +
                                SEALDOOR_CLI + "' lock --password-stdin a.doc b.doc 2>&1");
  EXPECT_EQ(r.exitCode, 1);
  for (const auto& n : names) {
    EXPECT_NE(r.output.find("sealdoor-cli: '" + n + "' was locked, but its former version could not be removed"),
              std::string::npos)
        << r.output;
    EXPECT_TRUE(test::IsLockedFormOf(test::ReadBytes(dir / n), test::RandomBytes(3000, 5), "Faulty9")) << n;
  }
  EXPECT_EQ(test::Housekeeping(dir.Path()).size(), 3u);  // two former versions and the journal
  test::WriteBytes(dir / "c.doc", test::RandomBytes(3000, 6));
  EXPECT_EQ(test::WaitCli(test::StartCli("lock", dir.Path(), {"c.doc"}, "Faulty9")), 0);
  EXPECT_TRUE(test::Housekeeping(dir.Path()).empty());
}

TEST(SystemFaults, AFileThatFailsAtItsCommitIsToldOfByItsOwnName) {
  // The first file's commit fails after the last file was worked on: its
  // message names it, and only it.
  test::ScratchDir dir;
  for (const char* name : {"first.doc", "second.doc"}) test::WriteBytes(dir / name, test::RandomBytes(3000, 7));
  const auto r = test::RunShell("cd '" + dir.Path().string() + "' && echo Faulty9 | LD_PRELOAD='" +
                                SEALDOOR_FAULT_PRELOAD +
                                "' SEALDOOR_FAULT=renameat2:EIO:1 ASAN_OPTIONS=verify_asan_link_order=0 '" +
                                SEALDOOR_CLI + "' lock --password-stdin first.doc second.doc 2>&1");
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "sealdoor-cli: 'first.doc' could not be locked: Input/output error\n");
}

}  // namespace
}  // namespace sealdoor
