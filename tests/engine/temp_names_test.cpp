#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "engine/batch_counters.h"
#include "engine/form1.h"
#include "engine/temp_names.h"
#include "test_support.h"

namespace sealdoor {
namespace {

TEST(TempNames, SixSmallLettersAndTmpAndNoRepeats) {
  test::RecordingPort port;
  BatchCounters counters;
  const std::regex shape("[a-z]{6}\\.tmp");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    Form1 engine(port, counters);  // a fresh object each time, as the dispatcher does
    const std::string name = engine.GetTempFileName();
    EXPECT_TRUE(std::regex_match(name, shape)) << name;
    seen.insert(name);
  }
  EXPECT_GT(seen.size(), 995u);  // 26^6 names: repeats would mean a clock seed
}

TEST(TempNames, WorkingFileNamesAreRecognisedExactly) {
  EXPECT_TRUE(IsWorkingFileName(".sealdoor-abcxyz.tmp"));
  for (const char* other : {"sealdoor-abcxyz.tmp", ".sealdoor-abcxy.tmp", ".sealdoor-abcXyz.tmp",
                            ".sealdoor-abcxyz.tmpx", ".sealdoor-abcxyz.txt", "report.doc"})
    EXPECT_FALSE(IsWorkingFileName(other)) << other;
}

}  // namespace
}  // namespace sealdoor
