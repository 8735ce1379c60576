// sealdoor-cli among other users (as root, through setpriv and capsh): a
// link another user planted in a shared folder leads nowhere, as the
// kernel's fs.protected_symlinks wants; and where neither a lease nor a
// look at every process can tell whether another program writes a file,
// another user's file is refused rather than replaced under that program.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "../../engine/test_support.h"
#include "engine/format.h"
#include "support/run_shell.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kNobody = "65534";
constexpr const char* kOther = "12345";  // a user of no account, planting links

// The tool as every user may start it: the build may lie below a home
// folder that other users cannot enter (a clone in /root).
class SharedTool {
 public:
  SharedTool() {
    ::chmod(dir_.Path().c_str(), 0755);
    fs::copy_file(SEALDOOR_CLI, Path());
    ::chmod(Path().c_str(), 0755);
  }
  [[nodiscard]] fs::path Path() const { return dir_ / "sealdoor-cli"; }

 private:
  test::ScratchDir dir_;
};

fs::path Tool() {
  static const SharedTool tool;
  return tool.Path();
}

// sealdoor-cli lock FILE, run through `prefix` (setpriv, capsh), with its
// output and exit status.
test::CommandResult Lock(const fs::path& file, const std::string& prefix = {}) {
  const std::string cli = "echo Users1 | " + Tool().string() + " lock --password-stdin '" + file.string() + "' 2>&1";
  if (prefix.empty()) return test::RunShell(cli);
  // capsh's "--" runs bash with what follows.
  return test::RunShell(prefix + (prefix.starts_with("capsh") ? " -c \"" : " sh -c \"") + cli + "\"");
}

std::string As(const char* uid) {
  return std::string("setpriv --reuid=") + uid + " --regid=" + uid + " --clear-groups";
}

class OtherUsers : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
    if (test::RunShell("command -v setpriv >/dev/null && command -v capsh >/dev/null").exitCode != 0)
      GTEST_SKIP() << "setpriv or capsh is missing";
    ::chmod(dir_.Path().c_str(), 0755);
  }
  test::ScratchDir dir_;
};

// The kernel's setting for the length of a test.
class ProtectedSymlinks {
 public:
  ProtectedSymlinks() {
    std::ifstream("/proc/sys/fs/protected_symlinks") >> saved_;
    std::ofstream("/proc/sys/fs/protected_symlinks") << 1;
  }
  ~ProtectedSymlinks() { std::ofstream("/proc/sys/fs/protected_symlinks") << saved_; }
  [[nodiscard]] static bool On() {
    int v = 0;
    std::ifstream("/proc/sys/fs/protected_symlinks") >> v;
    return v == 1;
  }

 private:
  int saved_ = 0;
};

TEST_F(OtherUsers, ALinkPlantedInASharedFolderLeadsNowhere) {
  const ProtectedSymlinks guard;
  if (!ProtectedSymlinks::On()) GTEST_SKIP() << "fs.protected_symlinks cannot be set here";
  // A shared folder as /tmp is, and a user's private file elsewhere.
  const fs::path shared = dir_ / "shared";
  fs::create_directory(shared);
  ::chmod(shared.c_str(), 01777);
  const fs::path home = dir_ / "home";
  fs::create_directory(home);
  const fs::path secret = home / "private.txt";
  const Bytes plain = test::RandomBytes(4000, 1);
  test::WriteBytes(secret, plain);
  EXPECT_EQ(::chown(home.c_str(), 65534, 65534), 0);
  EXPECT_EQ(::chown(secret.c_str(), 65534, 65534), 0);
  ::chmod(home.c_str(), 0700);
  ::chmod(secret.c_str(), 0600);
  // Another user plants a link under the name the victim expects.
  const fs::path planted = shared / "report.txt";
  ASSERT_EQ(test::RunShell(As(kOther) + " ln -s '" + secret.string() + "' '" + planted.string() + "'").exitCode, 0);
  for (const std::string& victim : {As(kNobody), std::string()}) {  // the private file's owner, and root
    const auto r = Lock(planted, victim);
    EXPECT_EQ(r.exitCode, 1) << victim;
    EXPECT_EQ(r.output, "sealdoor-cli: '" + planted.string() + "' could not be locked: Permission denied (you need to be able to read it and write its folder)\n") << victim;
    EXPECT_EQ(test::ReadBytes(secret), plain) << victim;
  }
  // The user's own link there still leads to the file.
  const fs::path own = shared / "own.txt";
  ASSERT_EQ(test::RunShell(As(kNobody) + " ln -s '" + secret.string() + "' '" + own.string() + "'").exitCode, 0);
  EXPECT_EQ(Lock(own, As(kNobody)).exitCode, 0);
  EXPECT_TRUE(format::IsLocked(test::ReadBytes(secret)));
}

// Another program holding `file` until the end of the scope: `setup` runs
// in a child process as `uid`, which then waits to be stopped.
class Holder {
 public:
  Holder(uid_t uid, const std::function<void()>& setup) {
    int ready[2];
    if (::pipe(ready) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      if (uid != 0 && (::setgid(uid) != 0 || ::setuid(uid) != 0)) ::_exit(1);
      setup();
      (void)!::write(ready[1], "x", 1);
      for (;;) ::pause();
    }
    ::close(ready[1]);
    char c;
    (void)!::read(ready[0], &c, 1);
    ::close(ready[0]);
  }
  ~Holder() {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }

 private:
  pid_t pid_ = -1;
};

TEST_F(OtherUsers, WithoutLeasesAFileSomeoneMayWriteIsRefused) {
  // Root without the capabilities a container often lacks: no lease on
  // another user's file, and no look at other users' open files.
  const std::string limited = "capsh --drop=cap_lease,cap_sys_ptrace --";
  const std::string noLease = "capsh --drop=cap_lease --";
  const fs::path f = dir_ / "theirs.log";
  const Bytes plain = test::RandomBytes(5000, 2);
  struct Case {
    const char* what;
    uid_t holder;
    bool mapping;  // a shared writable mapping, its descriptor closed
    std::string prefix;
    std::string reason;
  };
  const Case cases[] = {
      {"another user's program writes it, unseen", 65534, false, limited,
       "it belongs to another user, and whether another program is writing it cannot be checked here"},
      {"a program of ours maps it for writing", 0, true, noLease, "it is open for writing in another program"},
  };
  for (const Case& c : cases) {
    test::WriteBytes(f, plain);
    EXPECT_EQ(::chown(f.c_str(), 65534, 65534), 0);
    ::chmod(f.c_str(), 0666);
    const Holder holder(c.holder, [&] {
      const int fd = ::open(f.c_str(), O_RDWR);
      if (c.mapping) {
        (void)::mmap(nullptr, plain.size(), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        ::close(fd);
      }
    });
    const auto r = Lock(f, c.prefix);
    EXPECT_EQ(r.exitCode, 1) << c.what;
    EXPECT_EQ(r.output, "sealdoor-cli: '" + f.string() + "' could not be locked: " + c.reason +
                            (c.mapping ? " (close it there, then try again)" : "") + "\n")
        << c.what;
    EXPECT_EQ(test::ReadBytes(f), plain) << c.what;
  }
}

}  // namespace
}  // namespace sealdoor
