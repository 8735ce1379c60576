// Thunar's custom actions: ours merged into the user's file by their ids,
// once, whatever else it holds.

#include <gtest/gtest.h>

#include <string>

#include "app/thunar_actions.h"

namespace sealdoor::app {
namespace {

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(ThunarActions, MergedOnceByTheirIdsKeepingTheUsersOwn) {
  const std::string theirs =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n<action>\n\t<icon>utilities-terminal</icon>\n"
      "\t<name>Open Terminal Here</name>\n\t<unique-id>1234-1</unique-id>\n\t<command>exo-open %f</command>\n"
      "</action>\n</actions>\n";
  const std::string once = MergeThunarActions(theirs, "/usr/bin/sealdoor");
  EXPECT_EQ(Count(once, "<unique-id>sealdoor-lock</unique-id>"), 1u);
  EXPECT_EQ(Count(once, "<unique-id>sealdoor-unlock</unique-id>"), 1u);
  EXPECT_NE(once.find("<command>/usr/bin/sealdoor --lock %F</command>"), std::string::npos);
  EXPECT_NE(once.find("<command>/usr/bin/sealdoor --unlock %F</command>"), std::string::npos);
  EXPECT_NE(once.find("<directories/>"), std::string::npos);
  EXPECT_NE(once.find("Open Terminal Here"), std::string::npos);
  EXPECT_EQ(MergeThunarActions(once, "/usr/bin/sealdoor"), once);  // again: nothing changes
  // A program elsewhere replaces ours, and only ours.
  const std::string moved = MergeThunarActions(once, "/opt/my tools/sealdoor");
  EXPECT_EQ(Count(moved, "<unique-id>sealdoor-lock</unique-id>"), 1u);
  EXPECT_NE(moved.find("<command>'/opt/my tools/sealdoor' --lock %F</command>"), std::string::npos);
  EXPECT_NE(moved.find("exo-open %f"), std::string::npos);
  // No file yet: a file of ours alone.
  const std::string fresh = MergeThunarActions("", "sealdoor");
  EXPECT_EQ(fresh.rfind("<?xml", 0), 0u);
  EXPECT_EQ(Count(fresh, "<action>"), 2u);
}

}  // namespace
}  // namespace sealdoor::app
