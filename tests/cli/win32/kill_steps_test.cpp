// sealdoor-cli.exe killed right after each step that renames, removes or
// marks a file, one step further each time: the file under its name is
// always whole and keeps its attributes (read-only among them), and the
// next run in the folder finishes or undoes what was half done and leaves
// nothing of ours behind.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../../engine/test_support.h"
#include "cli_runner_win32.h"
#include "engine/format.h"
#include "engine/win32/windows_h.h"
#include "support/win32/beside_test.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;

// sealdoor-cli-killed.exe, beside this test.
fs::path KilledCli() { return test::BesideThisTest(L"sealdoor-cli-killed.exe"); }

constexpr int kKilled = 99;

DWORD Attributes(const fs::path& p) { return ::GetFileAttributesW(p.c_str()); }

void Empty(const test::ScratchDir& dir) {
  for (const auto& name : dir.Names()) {
    ::SetFileAttributesW((dir / name).c_str(), FILE_ATTRIBUTE_NORMAL);
    fs::remove(dir / name);
  }
}

TEST(CliKilled, AfterAnyStepTheFileIsWholeWithItsAttributesAndALaterRunLeavesNothing) {
  struct Case {
    const char* action;
    bool locked;  // what the file is before the run
    DWORD attributes;
  };
  const Case cases[] = {
      {"lock", false, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
      {"unlock", true, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE},
      {"lock", false, FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
  };
  const auto plain = test::RandomBytes(40000, 90);
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.action) + ", attributes " + std::to_string(c.attributes));
    test::ScratchDir dir;
    const fs::path f = dir / "report.doc";
    int kills = 0;
    bool finished = false;
    for (int step = 1; step <= 100 && !finished; ++step) {
      SCOPED_TRACE("killed after step " + std::to_string(step));
      Empty(dir);
      test::WriteBytes(f, plain);
      test::WriteBytes(dir / "other.txt", {1, 2, 3});
      if (c.locked) {
        ASSERT_TRUE(test::Lock(f, "Abc1"));
      }
      ASSERT_TRUE(::SetFileAttributesW(f.c_str(), c.attributes));
      const DWORD before = Attributes(f);
      const auto start = test::ReadBytes(f);
      const auto r = test::RunProgram(KilledCli(), {std::to_string(step), c.action, "--password-stdin", "report.doc"},
                                      "Abc1\n", dir.Path());
      ASSERT_NE(r.exitCode, 3) << "the tool's steps could not be caught";
      if (r.exitCode != kKilled) {
        EXPECT_EQ(r.exitCode, 0) << r.err;
        finished = true;
      } else {
        ++kills;
        // The file under its name, where the kill left one there (between
        // two renames it waits under a name of ours), has its attributes.
        if (fs::exists(f)) {
          EXPECT_EQ(Attributes(f), before);
        }
        const auto names = dir.Names();
        // The next run in the folder, on another file there: it finds the
        // journal the killed run left, puts back what waits under a name
        // of ours and removes the rest.
        const auto later = test::RunCli({"lock", "--password-stdin", "other.txt"}, "Abc1\n", dir.Path());
        ASSERT_TRUE(fs::exists(f)) << ::testing::PrintToString(names) << r.err << later.err;
      }
      EXPECT_EQ(Attributes(f), before);
      const auto now = test::ReadBytes(f);
      EXPECT_TRUE(now == plain || test::IsLockedFormOf(now, plain, "Abc1"))
          << "neither its original nor its new version";
      EXPECT_EQ(test::Housekeeping(dir.Path()), std::vector<std::string>{});
      // Killed between the new version's taking the file's place and the
      // journal's saying so, the original moved aside cannot be told from
      // one whose new version never came: it is kept beside, whole.
      const fs::path kept = dir / "report.doc.sealdoor-original";
      if (fs::exists(kept)) {
        EXPECT_TRUE(test::ReadBytes(kept) == start);
        ::SetFileAttributesW(kept.c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove(kept);
      }
      EXPECT_EQ(dir.Names(), (std::vector<std::string>{"other.txt", "report.doc"}));
    }
    EXPECT_TRUE(finished) << "still killed after 100 steps";
    EXPECT_GE(kills, 3);
    Empty(dir);
  }
}

}  // namespace
}  // namespace sealdoor
