// A folder's walk on Linux: links and special files left out and counted,
// a folder that cannot be read said, and the files another run of Sealdoor
// holds left to it.

#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "../test_support.h"
#include "engine/folder_walk.h"
#include "text/action_texts.h"
#include "text/window_texts.h"
#include "engine/in_use.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;

// A walk that leaves out files already in the state wanted.
WalkOptions Wanting(bool locked) {
  WalkOptions walk;
  walk.wantLocked = locked;
  return walk;
}

TEST(FolderWalkPosix, LinksAndSpecialFilesAreLeftOutAndCounted) {
  test::ScratchDir dir;
  fs::create_directories(dir / "f" / "sub");
  test::WriteBytes(dir / "f" / "real", {1});
  fs::create_symlink(dir / "f" / "real", dir / "f" / "link-to-file");
  fs::create_directory_symlink(dir / "f" / "sub", dir / "f" / "link-to-folder");
  fs::create_symlink(dir / "f" / "gone", dir / "f" / "dangling");
  ASSERT_EQ(::mkfifo((dir / "f" / "fifo").c_str(), 0600), 0);
  const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, (dir / "f" / "sock").c_str(), sizeof address.sun_path - 1);
  ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const FolderBatch batch = ExpandFolders(std::vector<std::string>{(dir / "f").string()}, Wanting(true));
  ::close(s);
  EXPECT_EQ(batch.files, std::vector<std::string>{(dir / "f" / "real").string()});
  EXPECT_EQ(batch.links, 3u);
  EXPECT_EQ(batch.special, 2u);
  EXPECT_EQ(text::LeftOut(batch, Action::Lock), "Left as they were: 3 links and 2 special files.");
}

TEST(FolderWalkPosix, AFolderThatCannotBeReadIsSaid) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  test::ScratchDir dir;
  fs::create_directories(dir / "f" / "closed");
  test::WriteBytes(dir / "f" / "open", {1});
  ::chmod((dir / "f" / "closed").c_str(), 0);
  const FolderBatch batch = ExpandFolders(std::vector<std::string>{(dir / "f").string()}, Wanting(true));
  ::chmod((dir / "f" / "closed").c_str(), 0700);
  EXPECT_EQ(batch.files, std::vector<std::string>{(dir / "f" / "open").string()});
  ASSERT_EQ(batch.unreadable.size(), 1u);
  EXPECT_EQ(batch.unreadable[0].path, (dir / "f" / "closed").string());
}

// A process named as ours that holds `file` as a run does (a shared flock),
// until it is killed.
pid_t HoldAs(const char* name, const fs::path& file) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::prctl(PR_SET_NAME, name);
    const int fd = ::open(file.c_str(), O_RDONLY);
    ::flock(fd, LOCK_SH);
    (void)!::write(ready[1], "1", 1);
    for (;;) ::pause();
  }
  char c = 0;
  (void)!::read(ready[0], &c, 1);
  ::close(ready[0]);
  ::close(ready[1]);
  return child;
}

TEST(FolderWalkPosix, FilesAnotherRunIsWorkingOnAreLeftToIt) {
  test::ScratchDir dir;
  fs::create_directory(dir / "f");
  for (const char* n : {"a", "b", "c"}) test::WriteBytes(dir / "f" / n, {1});
  const pid_t run = HoldAs("sealdoor-cli", dir / "f" / "b");
  const pid_t other = HoldAs("someeditor", dir / "f" / "c");  // another program's lock is not a run of ours
  const FilesInUse now = FilesInUse::Now();
  EXPECT_TRUE(now.Holds(dir / "f" / "b"));
  EXPECT_FALSE(now.Holds(dir / "f" / "c"));
  const FolderBatch batch = ExpandFolders(std::vector<std::string>{(dir / "f").string()}, Wanting(true));
  for (const pid_t p : {run, other}) {
    ::kill(p, SIGKILL);
    ::waitpid(p, nullptr, 0);
  }
  EXPECT_EQ(batch.files, (std::vector<std::string>{(dir / "f" / "a").string(), (dir / "f" / "c").string()}));
  EXPECT_EQ(batch.inUse, 1u);
  EXPECT_FALSE(FilesInUse::Now().Holds(dir / "f" / "b"));
}

TEST(FolderWalkPosix, NoFolderTwiceAndOtherFileSystemsOnlyWhenWanted) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting needs root";
  test::ScratchDir dir;
  fs::create_directories(dir / "t" / "sub" / "bind");
  fs::create_directories(dir / "t" / "mnt");
  test::WriteBytes(dir / "t" / "a", {1});
  test::WriteBytes(dir / "t" / "sub" / "b", {2});
  // The tree seen again inside itself, and another file system in it.
  if (::mount((dir / "t").c_str(), (dir / "t" / "sub" / "bind").c_str(), nullptr, MS_BIND, nullptr) != 0)
    GTEST_SKIP() << "no bind mounts here: " << std::strerror(errno);
  const bool tmpfs = ::mount("tmpfs", (dir / "t" / "mnt").c_str(), "tmpfs", 0, "size=1m") == 0;
  if (tmpfs) test::WriteBytes(dir / "t" / "mnt" / "c", {3});
  const std::vector<std::string> tree{(dir / "t").string()};
  const FolderBatch all = ExpandFolders(tree);
  WalkOptions one;
  one.oneFileSystem = true;
  const FolderBatch same = ExpandFolders(tree, one);
  if (tmpfs) ::umount((dir / "t" / "mnt").c_str());
  ::umount((dir / "t" / "sub" / "bind").c_str());
  std::vector<std::string> expected{(dir / "t" / "a").string()};
  if (tmpfs) expected.push_back((dir / "t" / "mnt" / "c").string());
  expected.push_back((dir / "t" / "sub" / "b").string());
  EXPECT_EQ(all.files, expected);
  EXPECT_EQ(same.files, (std::vector<std::string>{(dir / "t" / "a").string(), (dir / "t" / "sub" / "b").string()}));
  EXPECT_EQ(same.otherFileSystems, tmpfs ? 1u : 0u);
  if (tmpfs) {
    EXPECT_EQ(text::LeftOut(same, Action::Lock), "Left as they were: 1 folder on another file system.");
  }
}

}  // namespace
}  // namespace sealdoor
