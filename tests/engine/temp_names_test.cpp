#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "engine/random_source.h"
#include "engine/temp_names.h"
#include "test_support.h"

namespace sealdoor {
namespace {

TEST(TempNames, SixSmallLettersAndTmpAndNoRepeats) {
  const std::regex shape("[a-z]{6}\\.tmp");
  std::set<std::string> seen;
  for (int i = 0; i < 1000; ++i) {
    SystemRandom random;  // a fresh source each time, as each folder's journal has
    const std::string name = DrawTempFileName(random);
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

TEST(TempNames, ExchangeNamesTellTheFileTheyReplace) {
  test::FixedRandom random({0.0, 0.5, 0.99});
  const std::string name = ExchangeName(1234567, random);
  EXPECT_EQ(name, ".sealdoor-r1234567-anzanz.tmp");
  EXPECT_EQ(ReplacedInode(name), 1234567u);
  EXPECT_FALSE(IsWorkingFileName(name));
  for (const char* other : {".sealdoor-abcxyz.tmp", ".sealdoor-r-abcxyz.tmp", ".sealdoor-r12x-abcxyz.tmp",
                            ".sealdoor-r12-abcxy.tmp", "sealdoor-r12-abcxyz.tmp", ".sealdoor-12-abcxyz.tmp"})
    EXPECT_FALSE(ReplacedInode(other)) << other;
}

TEST(TempNames, JournalsAndEveryHousekeepingNameAreRecognisedExactly) {
  test::FixedRandom random({0.0, 0.5, 0.99});
  const std::string journal = JournalName(random);
  EXPECT_EQ(journal, ".sealdoor-anzanz.journal");
  EXPECT_TRUE(IsJournalName(journal));
  for (const char* name : {".sealdoor-anzanz.journal", ".sealdoor-abcxyz.tmp", ".sealdoor-r12-abcxyz.tmp"})
    EXPECT_TRUE(IsHousekeepingName(name)) << name;
  for (const char* other : {".sealdoor-abc.journal", ".sealdoor-abcXyz.journal", "sealdoor-abcxyz.journal",
                            ".sealdoor-abcxyz.journal~", ".sealdoor-notes.txt", "report.journal", ".sealdoor-"}) {
    EXPECT_FALSE(IsJournalName(other)) << other;
    EXPECT_FALSE(IsHousekeepingName(other)) << other;
  }
}

}  // namespace
}  // namespace sealdoor
