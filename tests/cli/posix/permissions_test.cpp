// Permission cases as an unprivileged user, since root ignores mode bits:
// under root the tool runs as "nobody" through setpriv.

#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "../../engine/test_support.h"
#include "support/run_shell.h"
#include "engine/format.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::WriteBytes;

// sealdoor-cli OP FILE with the password on standard input, as `user`
// (empty: as ourselves).
test::CommandResult Cli(const std::string& op, const fs::path& file, const std::string& user = {}) {
  std::string cmd;
  if (!user.empty()) cmd = "setpriv --reuid=" + user + " --regid=" + user + " --clear-groups ";
  cmd += std::string(SEALDOOR_CLI) + " " + op + " --password-stdin '" + file.string() + "' 2>&1 <<< 'Perm1'";
  return test::RunShell("bash -c \"" + cmd + "\"");
}

class Permissions : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() == 0) {
      if (std::system("command -v setpriv >/dev/null") != 0) GTEST_SKIP() << "setpriv is missing";
      user_ = "65534";  // nobody
      EXPECT_EQ(::chown(dir_.Path().c_str(), 65534, 65534), 0);
    }
  }
  fs::path Make(const std::string& name, mode_t mode, std::size_t size = 3000) {
    const fs::path p = dir_ / name;
    WriteBytes(p, test::RandomBytes(size, 3));
    if (!user_.empty()) {
      EXPECT_EQ(::chown(p.c_str(), 65534, 65534), 0);
    }
    ::chmod(p.c_str(), mode);
    return p;
  }
  test::ScratchDir dir_;
  std::string user_;
};

TEST_F(Permissions, AReadOnlyFileIsLockedAndStaysReadOnly) {
  const fs::path f = Make("ro.txt", 0444);
  const auto plain = ReadBytes(f);
  EXPECT_EQ(Cli("lock", f, user_).exitCode, 0);
  struct stat st {};
  ::stat(f.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_TRUE(format::IsLocked(ReadBytes(f)));
  EXPECT_EQ(Cli("unlock", f, user_).exitCode, 0);
  ::stat(f.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0444u);
  EXPECT_EQ(ReadBytes(f), plain);
}

TEST_F(Permissions, RefusalsSayWhy) {
  fs::create_directory(dir_ / "closed");
  const fs::path inClosed = dir_ / "closed" / "f.txt";
  WriteBytes(inClosed, test::RandomBytes(3000, 4));
  if (!user_.empty()) {
    EXPECT_EQ(::chown((dir_ / "closed").c_str(), 65534, 65534), 0);
    EXPECT_EQ(::chown(inClosed.c_str(), 65534, 65534), 0);
  }
  ::chmod((dir_ / "closed").c_str(), 0555);
  const fs::path unreadable = Make("secret.txt", 0000);
  struct Case {
    fs::path file;
    std::string message;
  };
  const std::vector<Case> cases = {
      {inClosed,
       "' could not be locked: no working file can be made in its folder (Permission denied) (the folder must be "
       "writable for you)"},
      {unreadable, "' could not be locked: Permission denied (you need to be able to read it and write its folder)"},
  };
  for (const auto& c : cases) {
    ::chmod(unreadable.c_str(), 0644);
    const auto before = ReadBytes(c.file);
    ::chmod(unreadable.c_str(), 0000);
    const auto r = Cli("lock", c.file, user_);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.output, "sealdoor-cli: '" + c.file.string() + c.message + "\n");
    ::chmod(unreadable.c_str(), 0644);
    EXPECT_EQ(ReadBytes(c.file), before);
    ::chmod(unreadable.c_str(), 0000);
  }
  ::chmod((dir_ / "closed").c_str(), 0755);
  EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"closed", "secret.txt"}));  // no working files
}

TEST_F(Permissions, AnotherUsersFileIsNotTakenOverThroughItsFolder) {
  if (user_.empty()) GTEST_SKIP() << "needs root to make a file of another user";
  // The folder is ours to write; the file is root's and read-only to us.
  const fs::path f = dir_ / "theirs.txt";
  WriteBytes(f, test::RandomBytes(3000, 5));
  ::chmod(f.c_str(), 0644);
  const auto before = ReadBytes(f);
  const auto r = Cli("lock", f, user_);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "sealdoor-cli: '" + f.string() + "' could not be locked: it belongs to another user\n");
  EXPECT_EQ(ReadBytes(f), before);
  struct stat st {};
  ::stat(f.c_str(), &st);
  EXPECT_EQ(st.st_uid, 0u);
}

// A disk that fills up half-way: a small tmpfs where we may mount one.
TEST(DiskFull, LockingAFileThatDoesNotFitLeavesItWhole) {
  test::ScratchDir dir;
  const fs::path mnt = dir / "small";
  fs::create_directory(mnt);
  if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=256k") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << std::strerror(errno);
  const fs::path f = mnt / "big.bin";
  const auto plain = test::RandomBytes(160 * 1024, 5);
  WriteBytes(f, plain);
  const auto r = Cli("lock", f);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output, "sealdoor-cli: '" + f.string() + "' could not be locked: No space left on device (free some space on that disk, then try again)\n");
  EXPECT_EQ(ReadBytes(f), plain);
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(mnt)) names.push_back(e.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"big.bin"});
  ::umount(mnt.c_str());
}

}  // namespace
}  // namespace sealdoor
