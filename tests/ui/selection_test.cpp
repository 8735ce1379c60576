#include <gtest/gtest.h>

#include "ui/selection.h"

namespace sealdoor::ui {
namespace {

// Paths of this system: "C:\d\work" on Windows, "/d/work" elsewhere.
#ifdef _WIN32
const std::string kRoot = "C:\\";
constexpr char kSep = '\\';
#else
const std::string kRoot = "/";
constexpr char kSep = '/';
#endif

std::string P(std::initializer_list<std::string> parts) {
  std::string p = kRoot;
  for (const auto& part : parts) p += (p == kRoot ? "" : std::string(1, kSep)) + part;
  return p;
}

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
  const std::string sub = std::string("sub") + kSep + "b.txt";
  const std::vector<Case> cases = {
      {P({"d", "one file.txt"}), {P({"d", "one file.txt"})}, {"one file.txt"}, false},
      {Several(P({"d", "work"}), {"a.txt", "b.txt", "c.txt"}),
       {P({"d", "work", "a.txt"}), P({"d", "work", "b.txt"}), P({"d", "work", "c.txt"})},
       {"a.txt", "b.txt", "c.txt"},
       true},
      // A drive's root (or "/") already ends with its separator: one, not two.
      {Several(kRoot, {"x", "y z"}), {P({"x"}), P({"y z"})}, {"x", "y z"}, true},
      // A name typed with a folder of its own, below the folder or its root.
      {Several(kRoot, {sub}), {kRoot + sub}, {sub}, true},
      {Several(P({"d"}), {sub}), {P({"d"}) + kSep + sub}, {sub}, true},
      // A file of another folder, typed with its own folder, stays there.
      {Several(P({"d", "work"}), {P({"other", "p.txt"}), "q.txt"}), {P({"other", "p.txt"}), P({"d", "work", "q.txt"})},
       {"p.txt", "q.txt"},
       true},
  };
  for (const auto& c : cases) {
    const Selection s = SplitSelection(c.selection);
    std::vector<std::string> paths, names;
    for (std::size_t i = 0; i < s.size(); ++i) {
      paths.push_back(s.paths[i]);
      names.push_back(s.Name(i));
    }
    EXPECT_EQ(paths, c.paths);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(s.several, c.several);
  }
}

TEST(Selection, FromFullPathsAndBack) {
  EXPECT_EQ(SelectionFromPaths({P({"d", "a"})}), P({"d", "a"}));
  EXPECT_EQ(SelectionFromPaths({P({"d", "a"}), P({"d", "b"})}), Several(P({"d"}), {"a", "b"}));
  const std::string mixed = SelectionFromPaths({P({"other", "p.txt"}), P({"d", "q.txt"}), P({"other", "r"})});
  EXPECT_EQ(mixed, Several(P({"other"}), {"p.txt", P({"d", "q.txt"}), "r"}));
  EXPECT_EQ(SplitSelection(mixed).paths,
            (std::vector<std::string>{P({"other", "p.txt"}), P({"d", "q.txt"}), P({"other", "r"})}));
  // Files dropped from a drive's root come back with one separator.
  const std::string root = SelectionFromPaths({P({"a"}), P({"b"})});
  EXPECT_EQ(SplitSelection(root).paths, (std::vector<std::string>{P({"a"}), P({"b"})}));
}

}  // namespace
}  // namespace sealdoor::ui
