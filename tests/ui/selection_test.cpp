#include <gtest/gtest.h>

#include "ui/selection.h"

namespace sealdoor::ui {
namespace {

std::string Several(const std::string& folder, std::initializer_list<std::string> names) {
  std::string s = folder;
  for (const auto& n : names) s += '\0' + n;
  return s;
}

TEST(Selection, SplitsIntoPathsAndNames) {
  struct Case {
    std::string selection;
    std::vector<std::string> paths, names;
    bool several;
  };
  const std::vector<Case> cases = {
      {"/d/one file.txt", {"/d/one file.txt"}, {"one file.txt"}, false},
      {Several("/d/work", {"a.txt", "b.txt", "c.txt"}), {"/d/work/a.txt", "/d/work/b.txt", "/d/work/c.txt"},
       {"a.txt", "b.txt", "c.txt"}, true},
      // The folder and a name always with one separator between.
      {Several("/", {"x"}), {"//x"}, {"x"}, true},
      // A file of another folder, typed with its own folder, stays there.
      {Several("/d/work", {"/other/p.txt", "q.txt"}), {"/other/p.txt", "/d/work/q.txt"}, {"p.txt", "q.txt"}, true},
  };
  for (const auto& c : cases) {
    const Selection s = SplitSelection(c.selection);
    std::vector<std::string> paths, names;
    for (std::size_t i = 0; i < s.size(); ++i) {
      paths.push_back(s.Path(i).string());
      names.push_back(s.Name(i));
    }
    EXPECT_EQ(paths, c.paths);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(s.several, c.several);
  }
}

TEST(Selection, FromFullPathsAndBack) {
  EXPECT_EQ(SelectionFromPaths({"/d/a"}), "/d/a");
  EXPECT_EQ(SelectionFromPaths({"/d/a", "/d/b"}), Several("/d", {"a", "b"}));
  const std::string mixed = SelectionFromPaths({"/other/p.txt", "/d/q.txt", "/other/r"});
  EXPECT_EQ(mixed, Several("/other", {"p.txt", "/d/q.txt", "r"}));
  EXPECT_EQ(SplitSelection(mixed).paths, (std::vector<std::string>{"/other/p.txt", "/d/q.txt", "/other/r"}));
}

}  // namespace
}  // namespace sealdoor::ui
