// What a folder stands for in a batch: its regular files in name order,
// never a working file of ours, and what was left out counted.

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/folder_walk.h"
#include "text/action_texts.h"
#include "text/window_texts.h"
#include "engine/path_text.h"
#include "test_support.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;

// A walk that leaves out files already in the state wanted.
WalkOptions Wanting(bool locked) {
  WalkOptions walk;
  walk.wantLocked = locked;
  return walk;
}

std::vector<std::string> Relative(const std::vector<std::string>& files, const fs::path& root) {
  std::vector<std::string> out;
  for (const auto& f : files) out.push_back(PathFromText(f).lexically_relative(root).generic_string());
  return out;
}

TEST(FolderWalk, FilesInNameOrderDepthFirstWithoutOurWorkingFiles) {
  test::ScratchDir dir;
  for (const char* sub : {"b/c", "a", "b/a"}) fs::create_directories(dir / sub);
  for (const char* name : {"z", "b/c/2", "b/c/1", "a/x", "b/a/y", "b/0", ".hidden", "b/.sealdoor-abcdef.tmp",
                           "b/.sealdoor-r12-abcdef.tmp", "a/.sealdoor-abcdef.journal"})
    test::WriteBytes(dir / name, {1, 2, 3});
  // The folder b, the file z, then everything: what was met before is not
  // taken again, whether as a folder, a file inside one or a file named.
  const std::vector<std::string> given = {(dir / "b").string(), (dir / "z").string(), dir.Path().string(),
                                          (dir / "b" / "0").string(), (dir / "a").string()};
  const FolderBatch batch = ExpandFolders(given);
  EXPECT_TRUE(batch.hadFolder);
  EXPECT_EQ(Relative(batch.files, dir.Path()),
            (std::vector<std::string>{"b/0", "b/a/y", "b/c/1", "b/c/2", "z", ".hidden", "a/x"}));
  EXPECT_EQ(text::LeftOut(batch, Action::Lock), "");
  EXPECT_TRUE(batch.unreadable.empty());
  // What the walk saw of each file stands beside it, for the batch to use
  // instead of looking again: the files named as well as the files found.
  ASSERT_EQ(batch.facts.size(), batch.files.size());
  for (std::size_t i = 0; i < batch.files.size(); ++i) {
    const auto looked = FactsOf(PathFromText(batch.files[i]));
    ASSERT_TRUE(looked && batch.facts[i]) << batch.files[i];
    EXPECT_EQ(batch.facts[i]->identity, looked->identity) << batch.files[i];
    EXPECT_EQ(batch.facts[i]->size, looked->size) << batch.files[i];
  }
}

TEST(FolderWalk, AStopEndsTheWalkWhereItIs) {
  test::ScratchDir dir;
  fs::create_directory(dir / "f");
  for (int i = 0; i < 2000; ++i) test::WriteBytes(dir / "f" / std::to_string(i), {1});
  int asked = 0;
  WalkOptions walk;
  walk.goOn = [&] { return ++asked < 2; };
  const FolderBatch batch = ExpandFolders(std::vector<std::string>{(dir / "f").string()}, walk);
  EXPECT_TRUE(batch.stopped);
  EXPECT_EQ(asked, 2);
  EXPECT_LT(batch.files.size(), 600u);
}

TEST(FolderWalk, FilesAlreadyInTheWantedStateAreLeftOutAndCounted) {
  test::ScratchDir dir;
  fs::create_directory(dir / "f");
  test::WriteBytes(dir / "f" / "plain", test::RandomBytes(100, 1));
  test::WriteBytes(dir / "f" / "locked", test::RandomBytes(100, 2));
  test::WriteBytes(dir / "named", test::RandomBytes(100, 3));
  ASSERT_TRUE(test::Lock(dir / "f" / "locked"));
  ASSERT_TRUE(test::Lock(dir / "named"));
  const std::vector<std::string> given = {(dir / "f").string(), (dir / "named").string()};
  FolderBatch lock = ExpandFolders(given, Wanting(true));
  // A file named on its own is always taken: the engine says what it is.
  EXPECT_EQ(Relative(lock.files, dir.Path()), (std::vector<std::string>{"f/plain", "named"}));
  EXPECT_EQ(lock.alreadyDone, 1u);
  EXPECT_EQ(text::LeftOut(lock, Action::Lock), "Left as they were: 1 file already locked.");
  FolderBatch unlock = ExpandFolders(given, Wanting(false));
  EXPECT_EQ(Relative(unlock.files, dir.Path()), (std::vector<std::string>{"f/locked", "named"}));
  EXPECT_EQ(text::LeftOut(unlock, Action::Unlock), "Left as they were: 1 file not locked.");
  // Files alone: no folder, nothing looked at.
  EXPECT_FALSE(ExpandFolders(std::vector<std::string>{(dir / "named").string()}, Wanting(true)).hadFolder);
}

TEST(FolderWalk, CountsReadAsUsersWriteThem) {
  EXPECT_EQ(text::Files(1), "1 file");
  EXPECT_EQ(text::Files(0), "0 files");
  EXPECT_EQ(text::Files(1234567), "1,234,567 files");
  FolderBatch b;
  b.alreadyDone = 2;
  b.links = 1;
  b.special = 3;
  b.inUse = 1;
  EXPECT_EQ(text::LeftOut(b, Action::Lock),
            "Left as they were: 2 files already locked, 1 link, 3 special files and 1 file another run is working on.");
}

}  // namespace
}  // namespace sealdoor
