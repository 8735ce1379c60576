// The window program's command line, the hand-over message and the
// gathering of launches, without a second process.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/arrival_gatherer.h"
#include "app/handover_message.h"
#include "app/launch_args.h"

namespace sealdoor::app {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;

TEST(LaunchArgs, ActionsFilesAndErrors) {
  struct Case {
    std::vector<std::string> args;
    std::optional<Action> action;
    std::vector<std::string> files;
    std::string error;  // empty: accepted
  };
  const std::vector<Case> cases = {
      {{}, std::nullopt, {}, ""},
      {{"a", "b"}, std::nullopt, {"a", "b"}, ""},
      {{"--lock", "a", "b"}, Action::Lock, {"a", "b"}, ""},
      {{"a", "--unlock", "b"}, Action::Unlock, {"a", "b"}, ""},
      {{"--unlock-and-open", "a"}, Action::UnlockAndOpen, {"a"}, ""},
      {{"--lock", "--", "--unlock", "-"}, Action::Lock, {"--unlock", "-"}, ""},
      {{"--lock", "--lock", "a"}, Action::Lock, {"a"}, ""},
      {{"--lock"}, Action::Lock, {}, ""},  // a desktop menu's action: the window names it
      {{"--unlock-and-open"}, Action::UnlockAndOpen, {}, ""},
      {{"--unlock-and-open", "a", "b"}, Action::UnlockAndOpen, {}, "--unlock-and-open takes one FILE at most"},
      {{"--lock", "--unlock", "a"}, Action::Lock, {}, "--lock, --unlock and --unlock-and-open exclude each other"},
      {{"-platform", "offscreen"}, std::nullopt, {},
       "unknown option '-platform' (a FILE whose name starts with \"-\" goes after \"--\")"},
      {{"--x\x1b[2J"}, std::nullopt, {},
       "unknown option '--x?[2J' (a FILE whose name starts with \"-\" goes after \"--\")"},
      {{"--add-to-thunar", "a"}, std::nullopt, {}, "--add-to-thunar takes no FILE and no action"},
      {{"--lock", ""}, Action::Lock, {}, "a FILE name is empty"},  // never the working folder itself
      {{"--", ""}, std::nullopt, {}, "a FILE name is empty"},
  };
  for (const auto& c : cases) {
    const auto parsed = ParseLaunchArgs(c.args);
    if (c.error.empty()) {
      ASSERT_TRUE(parsed) << parsed.error();
      EXPECT_EQ(parsed->action, c.action);
      EXPECT_EQ(parsed->files, c.files);
    } else {
      ASSERT_FALSE(parsed) << c.error;
      EXPECT_EQ(parsed.error(), c.error);
    }
  }
  EXPECT_TRUE(ParseLaunchArgs({"--help"})->help);
  EXPECT_TRUE(ParseLaunchArgs({"--version"})->version);
  EXPECT_TRUE(ParseLaunchArgs({"--add-to-thunar"})->addToThunar);
}

#ifdef _WIN32
const std::string kRoot = "C:\\";
#else
const std::string kRoot = "/";
#endif

#ifndef _WIN32
// Windows keeps a process's working folder from being deleted; on Linux a
// launch may come from one that no longer exists.
TEST(LaunchArgs, RelativeNamesOfAWorkingFolderThatIsGoneAloneAreLeftOut) {
  const std::vector<std::string> given = {"a.txt", "/abs/b", "sub/c", "./d", "/e"};
  const auto here = MakeFullNames(given, std::filesystem::path("/home/u/docs"));
  EXPECT_EQ(here.paths, (std::vector<std::string>{"/home/u/docs/a.txt", "/abs/b", "/home/u/docs/sub/c",
                                                 "/home/u/docs/./d", "/e"}));
  EXPECT_TRUE(here.unreachable.empty());
  const auto gone = MakeFullNames(given, std::nullopt);
  EXPECT_EQ(gone.paths, (std::vector<std::string>{"/abs/b", "/e"}));
  EXPECT_EQ(gone.unreachable, (std::vector<std::string>{"a.txt", "sub/c", "./d"}));
}
#endif

TEST(LaunchArgs, TheNamesLeftOutAreNamedInOneLine) {
  EXPECT_EQ(UnreachableNamesText({"a.txt"}),
            "'a.txt' was left out: the folder it was given in no longer exists (give its full path)");
  EXPECT_EQ(UnreachableNamesText({"a", "b\nc", "d"}),
            "'a', 'b?c' and 'd' were left out: the folder they were given in no longer exists "
            "(give their full paths)");
  std::vector<std::string> many;
  for (int i = 0; i < 25; ++i) many.push_back("f" + std::to_string(i));
  const std::string text = UnreachableNamesText(many);
  EXPECT_NE(text.find("'f8', 'f9' and 15 more were left out"), std::string::npos) << text;
  EXPECT_EQ(text.find('\n'), std::string::npos);
}

TEST(HandoverMessage, RoundTrip) {
  const Arrival sent{Action::Unlock, {kRoot + "a b", kRoot + "x\ny", kRoot + "caf\xc3\xa9"}, 12345678901234ull};
  const auto got = DecodeArrival(EncodeArrival(sent));
  ASSERT_TRUE(got);
  EXPECT_EQ(got->action, sent.action);
  EXPECT_EQ(got->paths, sent.paths);
  EXPECT_EQ(got->stamp, sent.stamp);
  const auto empty = DecodeArrival(EncodeArrival({std::nullopt, {}, 0}));
  ASSERT_TRUE(empty);
  EXPECT_TRUE(empty->paths.empty());
  // A desktop menu's action alone.
  const auto asked = DecodeArrival(EncodeArrival({Action::UnlockAndOpen, {}, 0}));
  ASSERT_TRUE(asked);
  EXPECT_EQ(asked->action, Action::UnlockAndOpen);
}

TEST(HandoverMessage, AnythingElseIsRefusedWhole) {
  const std::string good = EncodeArrival({Action::Lock, {kRoot + "a"}, 1});
  std::string oversized = EncodeArrival({Action::Lock, {}, 1});
  while (oversized.size() <= kMaxMessageBytes) oversized += kRoot + std::string(4000, 'x') + '\0';
  const std::vector<std::pair<const char*, std::string>> bad = {
      {"empty", ""},
      {"no end", good.substr(0, good.size() - 1)},
      {"another program's", "hello world\0"},
      {"another version", "sealdoor-files-2\0" "1\0" "1\0"s},
      {"unknown action", "sealdoor-files-1\0" "7\0" "1\0"s},
      {"no stamp", "sealdoor-files-1\0" "1\0" "\0"s},
      {"stamp not a number", "sealdoor-files-1\0" "1\0" "12x\0"s},
      {"a relative path", "sealdoor-files-1\0" "1\0" "1\0" "a\0"s},
      {"an empty path", good + '\0'},
      {"two files to open", EncodeArrival({Action::UnlockAndOpen, {kRoot + "a", kRoot + "b"}, 1})},
      {"oversized", oversized},
      {"a path too long", EncodeArrival({Action::Lock, {kRoot + std::string(kMaxPathBytes, 'x')}, 1})},
  };
  for (const auto& [what, bytes] : bad) EXPECT_FALSE(DecodeArrival(bytes)) << what;
  EXPECT_TRUE(DecodeArrival(good));
}

TEST(ArrivalGatherer, LaunchesWithinHalfASecondMakeOneBatchInTheOrderBegun) {
  ArrivalGatherer g;
  const auto t0 = ArrivalGatherer::Clock::now();
  EXPECT_FALSE(g.Due());
  // Explorer's launches, one per file, arriving out of the order begun.
  g.Add({Action::Lock, {"/b"}, 2}, t0);
  g.Add({Action::Lock, {"/a"}, 1}, t0 + 300ms);
  g.Add({Action::Lock, {"/c"}, 3}, t0 + 700ms);
  EXPECT_EQ(*g.Due(), t0 + 1200ms);
  EXPECT_TRUE(g.Take(t0 + 1100ms).empty());
  auto due = g.Take(t0 + 1200ms);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].action, Action::Lock);
  EXPECT_EQ(due[0].paths, (std::vector<std::string>{"/a", "/b", "/c"}));
  EXPECT_FALSE(g.Due());

  // Another action closes the gathering before it: both go, in turn.
  g.Add({Action::Lock, {"/a"}, 1}, t0);
  g.Add({Action::Unlock, {"/b"}, 2}, t0 + 100ms);
  EXPECT_EQ(*g.Due(), t0);
  due = g.Take(t0 + 100ms);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].action, Action::Lock);
  due = g.Take(t0 + 600ms);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].action, Action::Unlock);

  // Files to unlock and open never gather: each opens in its turn.
  g.Add({Action::UnlockAndOpen, {"/a"}, 1}, t0);
  g.Add({Action::UnlockAndOpen, {"/b"}, 2}, t0 + 100ms);
  due = g.Take(t0 + 100ms);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].paths, std::vector<std::string>{"/a"});
  due = g.Take(t0 + 600ms);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].paths, std::vector<std::string>{"/b"});

  // A stream that never pauses still goes after a while.
  for (int i = 0; i < 100; ++i) g.Add({Action::Lock, {"/f"}, 0}, t0 + i * 100ms);
  due = g.Take(t0 + 9900ms);
  ASSERT_EQ(due.size(), 1u);
  EXPECT_EQ(due[0].paths.size(), 50u);
}

}  // namespace
}  // namespace sealdoor::app
