// The shell services every system shares: the cutting rules, the
// placeholder of the Windows folder, the pause.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "shell/open_command.h"
#include "shell/system_folders.h"
#include "shell/wait_seconds.h"

namespace sealdoor::shell {
namespace {

TEST(CutCommand, RulesInOrder) {
  struct Case {
    const char* command;
    const char* prefix;
  };
  const Case cases[] = {
      {"C:\\Prog\\app.exe %1", "C:\\Prog\\app.exe "},                   // rule 2
      {"C:\\Prog\\app.exe \"%1\"", "C:\\Prog\\app.exe "},               // rule 1
      {"C:\\Prog\\app.exe /p", "C:\\Prog\\app.exe "},                   // rule 4: the switch goes
      {"C:\\Prog\\app.exe", ""},                                        // no placeholder, no switch
      {"C:\\Prog\\app.exe%1", ""},                                      // glued placeholder
      {"C:\\Prog\\app.exe%1 /x", "C:\\Prog\\app.exe%1 "},              // ... unless it has " /"
      {"app /x %1", "app /x "},                                         // " %1" beats " /"
      {"app %1 /x", "app "},                                            // whatever the order
      {"app /dde \"%1\"", "app /dde "},                                 // cut at the space before "%1
      {"\"%1\" %*", "\""},                                              // a quote first: just the quote
  };
  for (const auto& c : cases) EXPECT_EQ(CutCommand(c.command), c.prefix) << c.command;
  // Rule 1 looks for space, double quote, "%1" in that order and cuts at
  // that space: a quoted program path with a space keeps its quotes whole.
  EXPECT_EQ(CutCommand("\"C:\\My Apps\\x.exe\" \"%1\""), "\"C:\\My Apps\\x.exe\" ");
  EXPECT_EQ(CutCommand("app --file=\"%1\""), "app --file=\"");  // rule 3
}

TEST(SystemFolders, SystemRootOnlyAtTheHead) {
  EXPECT_EQ(ExpandSystemRoot("%SystemRoot%/bin/notepad ", "/usr"), "/usr/bin/notepad ");
  EXPECT_EQ(ExpandSystemRoot("%SystemRoot%/bin/notepad ", ""), "/bin/notepad ");
  EXPECT_EQ(ExpandSystemRoot("run %SystemRoot%/x ", "/usr"), "run %SystemRoot%/x ");
  EXPECT_EQ(ExpandSystemRoot("%systemroot%/x ", "/usr"), "%systemroot%/x ");  // case counts
}

TEST(WaitSeconds, ZeroReturnsAtOnceAndAPauseKeepsYielding) {
  int yields = 0;
  WaitSeconds(std::chrono::seconds(0), [&] { ++yields; });
  EXPECT_EQ(yields, 0);
  const auto start = std::chrono::steady_clock::now();
  WaitSeconds(std::chrono::seconds(1), [&] { ++yields; });
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_GT(yields, 10);  // the window was served throughout
}

}  // namespace
}  // namespace sealdoor::shell
