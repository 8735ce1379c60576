// The typo guard: which passwords are one slip away from a stored one, and
// what the locked files beside a batch say of the password typed.

#include <gtest/gtest.h>

#include "../engine/test_support.h"
#include "ui/typo_guard.h"

namespace sealdoor::ui {
namespace {

using test::ScratchDir;

TEST(TypoGuard, NearAndFarPasswords) {
  struct Case {
    const char* typed;
    const char* stored;
    Nearness expected;
  };
  const Case cases[] = {
      {"Abc123", "Abc123", Nearness::Same},
      {"Abc124", "Abc123", Nearness::OneCharacter},  // changed
      {"Abc12", "Abc123", Nearness::OneCharacter},   // missing at the end
      {"bc123", "Abc123", Nearness::OneCharacter},   // missing at the start
      {"Abc1234", "Abc123", Nearness::OneCharacter}, // added
      {"AAbc123", "Abc123", Nearness::OneCharacter}, // added, doubled
      {"Acb123", "Abc123", Nearness::OneCharacter},  // neighbours swapped
      {"Abc132", "Abc123", Nearness::OneCharacter},  // the last two swapped
      {"bAc123", "Abc123", Nearness::OneCharacter},  // the first two swapped
      {"abc123", "Abc123", Nearness::CaseOnly},
      {"aBC123", "Abc123", Nearness::CaseOnly},      // case only, three letters
      {"ABC123", "abc123", Nearness::CaseOnly},
      {"Zebra9", "Abc123", Nearness::Far},
      {"Abd124", "Abc123", Nearness::Far},           // two changed
      {"Ab123c", "Abc123", Nearness::Far},           // moved, not swapped
      {"cbA123", "Abc123", Nearness::Far},           // swapped across one
      {"Abc1", "Abc123", Nearness::Far},             // two missing
      {"aBC124", "Abc123", Nearness::Far},           // case and a character
      {"a", "b", Nearness::OneCharacter},
      {"a", "ab", Nearness::OneCharacter},
      {"ab", "ba", Nearness::OneCharacter},
      {"1", "1234", Nearness::Far},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Compare(c.typed, c.stored), c.expected) << c.typed << " / " << c.stored;
    EXPECT_EQ(Compare(c.stored, c.typed), c.expected) << c.stored << " / " << c.typed;  // either way round
  }
}

TEST(TypoGuard, ReadsTheLockedFilesOfTheFolders) {
  ScratchDir one, two;
  test::WriteBytes(one / "a", test::RandomBytes(2000, 1));
  ASSERT_TRUE(test::Lock(one / "a", "Abc123"));
  test::WriteBytes(one / "plain", test::RandomBytes(2000, 2));
  test::WriteBytes(one / "short", test::RandomBytes(10, 3));
  test::WriteBytes(two / "b", test::RandomBytes(2000, 4));
  ASSERT_TRUE(test::Lock(two / "b", "Abc124"));
  const std::vector<std::filesystem::path> first = {one.Path()}, both = {one.Path(), two.Path()};
  struct Case {
    const std::vector<std::filesystem::path>& folders;
    const char* typed;
    Nearness expected;
  };
  const Case cases[] = {
      {first, "Abc124", Nearness::OneCharacter},
      {first, "ABC123", Nearness::CaseOnly},
      {first, "Abc123", Nearness::Same},
      {first, "Zebra9", Nearness::Far},
      {both, "Abc124", Nearness::Same},  // the password of files there: nothing to ask
      {both, "Abc125", Nearness::OneCharacter},
      {{}, "Abc124", Nearness::Far},
  };
  for (const auto& c : cases) EXPECT_EQ(NearestStoredPassword(c.folders, c.typed), c.expected) << c.typed;
  // No more than the limits allow is read.
  EXPECT_EQ(NearestStoredPassword(first, "Abc124", {.heads = 0}), Nearness::Far);
  EXPECT_EQ(NearestStoredPassword(first, "Abc124", {.entries = 0}), Nearness::Far);
  // A folder that cannot be read says nothing.
  const std::vector<std::filesystem::path> missing = {one / "missing"};
  EXPECT_EQ(NearestStoredPassword(missing, "Abc124"), Nearness::Far);
}

}  // namespace
}  // namespace sealdoor::ui
