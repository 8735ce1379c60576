// The engine on POSIX systems: modes, links, file types, other programs
// writing the file, leftovers, holes, and everything a file carries
// besides its bytes.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <optional>
#include <set>
#include <thread>

#include "../test_support.h"
#include "support/powercut_disk.h"
#include "support/run_shell.h"
#include "support/wait_for.h"
#include "engine/commit_group.h"
#include "engine/form1.h"
#include "engine/format.h"
#include "engine/io_faults.h"
#include "engine/folder_journal.h"
#include "engine/journal.h"
#include "engine/process_guard.h"
#include "engine/scramble.h"
#include "engine/system_error.h"

namespace sealdoor {
namespace {

using text::MessageStyle;
namespace fs = std::filesystem;
using test::Lock;
using Bytes = std::vector<std::uint8_t>;
using test::Outcome;
using test::ReadBytes;
using test::RecordingPort;
using test::RunEngine;
using test::ScratchDir;
using test::Unlock;
using test::WriteBytes;

// Another program: a child process running `action`, which may block
// (on our lease) while we go on. It keeps none of our open files but
// `keep`: a copy of the file we hold would hold our lease too.
class OtherProgram {
 public:
  explicit OtherProgram(const std::function<void()>& action, int keep = -1) {
    pid_ = ::fork();
    if (pid_ == 0) {
      for (int fd = 3; fd < 1024; ++fd)
        if (fd != keep) ::close(fd);
      action();
      ::_exit(0);
    }
  }
  ~OtherProgram() { Wait(); }
  void Wait() {
    if (pid_ > 0) ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }
  [[nodiscard]] pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
};

// True once the system has a lease of ours waiting to be broken, that is,
// once another program is held up in opening the file for writing.
bool WaitForLeaseBreak() {
  const bool breaking = test::WaitFor([] {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
      if (line.find("LEASE") != std::string::npos &&
          (line.find("BREAKING") != std::string::npos || line.find("UNLCK") != std::string::npos))
        return true;
    return false;
  });
  if (!breaking) ADD_FAILURE() << "no program was held up by our lease within a minute";
  return breaking;
}

TEST(Attributes, ModeKeptReadOnlyIncludedAndTimeOfLocking) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(3000, 4);
  for (const mode_t mode : std::initializer_list<mode_t>{0444, 0640, 0600}) {
    const fs::path f = dir / "f";
    WriteBytes(f, plain);
    ::chmod(f.c_str(), mode);
    const timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ::utimensat(AT_FDCWD, f.c_str(), old, 0);
    ASSERT_TRUE(Lock(f));
    struct stat st {};
    ::stat(f.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode);
    EXPECT_GT(st.st_mtim.tv_sec, 1000000000);
    ASSERT_TRUE(Unlock(f));
    ::stat(f.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, mode);
    EXPECT_EQ(ReadBytes(f), plain);
    fs::remove(f);
  }
}

TEST(Links, ASymbolicLinkStaysALinkToTheLockedFile) {
  ScratchDir dir;
  fs::create_directory(dir / "real");
  const auto plain = test::RandomBytes(800, 8);
  WriteBytes(dir / "real" / "target", plain);
  fs::create_symlink(dir / "real" / "target", dir / "link");
  ASSERT_TRUE(Lock(dir / "link"));
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_TRUE(format::IsLocked(ReadBytes(dir / "real" / "target")));
  ASSERT_TRUE(Unlock(dir / "link"));
  EXPECT_EQ(ReadBytes(dir / "real" / "target"), plain);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"link", "real"}));
}

TEST(Links, AFileWithOtherNamesIsNotLocked) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(800, 9);
  WriteBytes(dir / "a", plain);
  fs::create_hard_link(dir / "a", dir / "b");
  Outcome o;
  RunEngine(o, dir / "a", true);
  EXPECT_FALSE(o.result);
  ASSERT_EQ(o.port.messages.size(), 1u);
  EXPECT_EQ(o.port.messages[0].first,
            "'" + (dir / "a").string() +
                "' could not be locked: it has 1 other name(s) (hard links) that would still show its "
                "content unlocked");
  EXPECT_EQ(ReadBytes(dir / "a"), plain);
}

TEST(Links, UnlockingOneNameOfAFileWithOthersLeavesTheOthersLocked) {
  // Locking refuses such a file; one that got its other names after it was
  // locked unlocks under the name chosen, and the other names keep the
  // locked version (as the README says).
  ScratchDir dir;
  const auto plain = test::RandomBytes(800, 10);
  WriteBytes(dir / "a", plain);
  ASSERT_TRUE(Lock(dir / "a"));
  fs::create_hard_link(dir / "a", dir / "b");
  ASSERT_TRUE(Unlock(dir / "a"));
  EXPECT_EQ(ReadBytes(dir / "a"), plain);
  EXPECT_TRUE(format::IsLocked(ReadBytes(dir / "b")));
}

TEST(NotAFile, FoldersFifosAndMissingFilesAreRefusedAtOnce) {
  ScratchDir dir;
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // opening it for reading would block
  struct Case {
    fs::path path;
    bool lock;
    std::string reason;
  };
  std::vector<Case> cases = {
      {dir / "folder", true, "' could not be locked: it is a folder"},
      {dir / "fifo", true, "' could not be locked: it is not a regular file"},
      {dir / "fifo", false, "' could not be unlocked: it is not a regular file"},
      {"/dev/null", false, "' could not be unlocked: it is not a regular file"},
      {dir / "missing", true, "' could not be locked: No such file or directory"},
      {"/proc/self/status", true,
       "' could not be locked: it is not a file on a disk but a view of the running system (like everything "
       "under /proc and /sys)"},
      {"/sys/kernel/mm/transparent_hugepage/enabled", false,
       "' could not be unlocked: it is not a file on a disk but a view of the running system (like everything "
       "under /proc and /sys)"},
  };
  // A container may have no /sys, or a kernel no such file in it.
  const bool sys = fs::exists(cases.back().path);
  if (!sys) cases.pop_back();
  for (const auto& c : cases) {
    Outcome o;
    RunEngine(o, c.path, c.lock);
    EXPECT_FALSE(o.result);
    ASSERT_EQ(o.port.messages.size(), 1u) << c.path;
    EXPECT_EQ(o.port.messages[0].first, "'" + c.path.string() + c.reason);
    EXPECT_EQ(o.port.messages[0].second, MessageStyle::Critical);
  }
  if (!sys) GTEST_SKIP() << "no /sys/kernel/mm/transparent_hugepage/enabled here: the case under /sys not tried";
}

TEST(Failures, AFileTooLargeForTheLimitLeavesTheOriginal) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(1 << 20, 11);
  WriteBytes(dir / "big", plain);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit lim{512 * 1024, 512 * 1024};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    Outcome o;
    RunEngine(o, dir / "big", true);
    const bool told = o.port.messages.size() == 1 &&
                      o.port.messages[0].first.ends_with("could not be locked: File too large");
    ::_exit(!o.result && told ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadBytes(dir / "big"), plain);
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"big"});
}


// A window whose yield lets another program act on the file mid-way: at
// the first yield after the panel shows the file.
struct MeddlingPort : RecordingPort {
  std::function<void()> meddle;
  void Yield() override {
    if (meddle && std::find(calls.begin(), calls.end(), "Frame4 visible") != calls.end())
      std::exchange(meddle, nullptr)();
  }
};

// Where a kept version can go: a local disk, and FUSE file systems that
// refuse RENAME_NOREPLACE, with and without second names (hard links).
struct Place {
  const char* name;
  std::optional<test::PowerCutDisk> disk;
  std::optional<ScratchDir> local;
  explicit Place(const char* n, std::optional<std::vector<std::string>> fuse) : name(n) {
    if (fuse && !test::PowerCutDisk::Unavailable() && disk.emplace(*fuse).Start()) return;
    disk.reset();
    if (!fuse) local.emplace();
  }
  [[nodiscard]] bool Usable() const { return disk || local; }
  [[nodiscard]] fs::path Folder() const { return disk ? disk->Mount() : local->Path(); }
};

TEST(OtherPrograms, AFileChangedReplacedOrDeletedMeanwhileKeepsBothVersions) {
  const auto plain = test::RandomBytes(4000, 12);
  Place places[] = {Place("a local disk", std::nullopt), Place("FUSE", std::vector<std::string>{}),
                    Place("FUSE without hard links", std::vector<std::string>{"--no-hardlinks"})};
  for (Place& place : places) {
    if (!place.Usable()) continue;  // no FUSE here: the local disk is enough
    const fs::path dir = place.Folder();
    const fs::path f = dir / "f";
    const std::string kept = "; what was read is kept, locked, as '" + (dir / "f.sealdoor-locked").string() + "'";
    struct Case {
      const char* what;
      std::function<void()> meddle;
      std::string reason;
      std::optional<std::vector<std::uint8_t>> theirs;  // what the other program left
      mode_t keptMode;  // never more open than the file was or is
    };
    const std::vector<std::uint8_t> other = {1, 2, 3};
    const std::vector<Case> cases = {
        {"replaced", [&] { WriteBytes(dir / "other", other); ::chmod((dir / "other").c_str(), 0640);
                           fs::rename(dir / "other", f); },
         "it was changed by another program while it was being processed" + kept, other, 0640},
        {"restricted", [&] { ::chmod(f.c_str(), 0600); },
         "it was changed by another program while it was being processed" + kept, plain, 0600},
        {"deleted", [&] { fs::remove(f); }, "it was deleted while being processed" + kept, std::nullopt, 0644},
    };
    for (const auto& c : cases) {
      const std::string what = std::string(place.name) + ", " + c.what;
      WriteBytes(f, plain);
      ::chmod(f.c_str(), 0644);
      MeddlingPort port;
      port.meddle = c.meddle;
      BatchCounters counters{100, 0};
      bool result = true;
      result = Form1(port, counters).LockIt(f, "f");
      EXPECT_FALSE(result) << what;
      ASSERT_EQ(port.messages.size(), 1u) << what;
      EXPECT_EQ(port.messages[0].first, "'" + f.string() + "' could not be locked: " + c.reason) << what;
      if (c.theirs) {
        EXPECT_EQ(ReadBytes(f), *c.theirs) << what;
      } else {
        EXPECT_FALSE(fs::exists(f)) << what;
      }
      struct stat st {};
      ::stat((dir / "f.sealdoor-locked").c_str(), &st);
      EXPECT_EQ(st.st_mode & 0777, c.keptMode) << what;
      // Ours is the locked form of what was read, and unlocks to it.
      ASSERT_TRUE(Unlock(dir / "f.sealdoor-locked")) << what;
      EXPECT_EQ(ReadBytes(dir / "f.sealdoor-locked"), plain) << what;
      fs::remove(dir / "f.sealdoor-locked");
      fs::remove(f);
      EXPECT_TRUE(fs::is_empty(dir)) << what;
    }
  }
}

const std::string kOpenForWriting = "it is open for writing in another program";

TEST(OtherPrograms, AFileOpenForWritingElsewhereIsRefusedAndReadersAreNot) {
  ScratchDir dir;
  const fs::path f = dir / "log";
  const auto plain = test::RandomBytes(3000, 20);
  for (const bool lock : {true, false}) {
    WriteBytes(f, plain);
    if (!lock) {
      ASSERT_TRUE(Lock(f));
    }
    const auto before = ReadBytes(f);
    int go[2];
    ASSERT_EQ(::pipe(go), 0);
    // A log that stays open, as `exec 3>>log` leaves it: it writes later.
    OtherProgram writer(
        [&] {
          const int fd = ::open(f.c_str(), O_WRONLY | O_APPEND);
          (void)!::write(go[1], "x", 1);
          ::pause();
          ::close(fd);
        },
        go[1]);
    ::close(go[1]);
    char c;
    ASSERT_EQ(::read(go[0], &c, 1), 1);  // it has the file open now
    ::close(go[0]);
    Outcome o;
    RunEngine(o, f, lock);
    ::kill(writer.Pid(), SIGTERM);
    writer.Wait();
    EXPECT_FALSE(o.result);
    ASSERT_EQ(o.port.messages.size(), 1u);
    EXPECT_EQ(o.port.messages[0].first,
              "'" + f.string() + (lock ? "' could not be locked: " : "' could not be unlocked: ") + kOpenForWriting);
    EXPECT_EQ(ReadBytes(f), before);

    // Another program that only reads it is no reason to refuse.
    const int reader = ::open(f.c_str(), O_RDONLY);
    EXPECT_TRUE(lock ? Lock(f) : Unlock(f));
    ::close(reader);
    fs::remove(f);
    EXPECT_TRUE(dir.Names().empty());
  }
}

TEST(OtherPrograms, AWriterThatComesDuringTheWorkStopsItAndKeepsWhatItWrites) {
  ScratchDir dir;
  const fs::path f = dir / "log";
  const auto plain = test::RandomBytes(20 << 20, 21);  // several chunks
  for (const bool lock : {true, false}) {
    WriteBytes(f, plain);
    if (!lock) {
      ASSERT_TRUE(Lock(f));
    }
    auto expected = ReadBytes(f);
    expected.insert(expected.end(), {'L', 'A', 'T', 'E'});
    MeddlingPort port;
    std::optional<OtherProgram> writer;
    // Once the work runs, a program opens the file to append to it; it is
    // held up until we let go, then appends to the file as it was.
    port.meddle = [&] {
      writer.emplace([&] { std::ofstream(f, std::ios::app) << "LATE"; });
      ASSERT_TRUE(WaitForLeaseBreak());
    };
    BatchCounters counters{1e6, 0};
    bool result = true;
    {
      Form1 engine(port, counters);
      engine.SetYieldInterval(std::chrono::milliseconds(0));
      if (lock)
        result = engine.LockIt(f, "log");
      else
        result = engine.UnlockIt(f, "log");
    }
    writer->Wait();
    EXPECT_FALSE(result);
    ASSERT_EQ(port.messages.size(), 1u);
    EXPECT_EQ(port.messages[0].first,
              "'" + f.string() + (lock ? "' could not be locked: " : "' could not be unlocked: ") + kOpenForWriting);
    EXPECT_EQ(ReadBytes(f), expected);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"log"});
    fs::remove(f);
  }
}

// Calls `action` at the n-th rename the engine makes.
int gRenames = 0;
int gActAt = 0;
std::function<void()> gAction;
int ActAtRename(io::Op op) {
  if (op == io::Op::Rename && ++gRenames == gActAt && gAction) gAction();
  return 0;
}

TEST(OtherPrograms, AWriterHeldUpBeforeTheExchangeGetsItsFileBack) {
  // A program found the file before its new version took its place, and
  // opens it for writing only afterwards (an on-access scanner held it up
  // in between): while its group is still being put in place, it gets the
  // file back, in its place, and writes into it.
  ScratchDir dir;
  const auto first = test::RandomBytes(5000, 22), second = test::RandomBytes(6000, 23);
  WriteBytes(dir / "first", first);
  WriteBytes(dir / "second", second);
  const int found = ::open((dir / "first").c_str(), O_PATH);
  std::optional<OtherProgram> writer;
  gRenames = 0;
  gActAt = 2;  // the second file's exchange: the first one's is done
  gAction = [&] {
    writer.emplace(
        [&] {
          const int fd = ::open(("/proc/self/fd/" + std::to_string(found)).c_str(), O_WRONLY | O_APPEND);
          (void)!::write(fd, "LATE", 4);
        },
        found);
    ASSERT_TRUE(WaitForLeaseBreak());
  };
  io::SetFaultHook(&ActAtRename);
  RecordingPort port;
  BatchCounters counters{1e6, 0};
  {
    CommitGroup group(port);
    // Both complete and waiting in the group; its commit is what fails.
    EXPECT_TRUE(Form1(port, counters, &group).LockIt(dir / "first", "first"));
    EXPECT_TRUE(Form1(port, counters, &group).LockIt(dir / "second", "second"));
    EXPECT_FALSE(group.Flush());
  }
  io::SetFaultHook(nullptr);
  gAction = nullptr;
  ::close(found);
  ASSERT_TRUE(writer);
  writer->Wait();
  auto expected = first;
  expected.insert(expected.end(), {'L', 'A', 'T', 'E'});
  EXPECT_EQ(ReadBytes(dir / "first"), expected);
  EXPECT_TRUE(format::IsLocked(ReadBytes(dir / "second")));
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].first, "'" + (dir / "first").string() + "' could not be locked: " + kOpenForWriting);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"first", "second"}));
}

// What each kind of call does in the case at hand: the rename's number
// (from 1) is given, and an error code returned makes the call fail.
std::function<int(io::Op, int)> gFaults;
int gRenameCalls = 0;
int ByCase(io::Op op) {
  const int n = op == io::Op::Rename ? ++gRenameCalls : 0;
  return gFaults ? gFaults(op, n) : 0;
}

TEST(AfterTheExchange, NothingIsLostAndWhatIsSaidIsWhatIsOnTheDisk) {
  // Each step after the new version took the file's place can fail: what
  // had to stay is kept beside the file or left to the journal, never
  // removed, the message says where it is, and the batch is no success.
  const auto plain = test::RandomBytes(5000, 31), theirs = test::RandomBytes(4000, 32);
  struct Case {
    const char* what;
    std::function<int(io::Op, int)> faults;  // also acts, as another program would
    std::string said;                        // the message, after the file's path
    std::vector<std::string> beside;         // what stands in the folder besides the file
    Bytes besideBytes;                       // what the first of those holds
  };
  ScratchDir dir;
  const fs::path f = dir / "first";
  int found = -1;  // the file as a program found it before the exchange
  std::optional<OtherProgram> writer;
  auto late = plain;
  late.insert(late.end(), {'L', 'A', 'T', 'E'});
  const Case cases[] = {
      {"the former version will not go",
       [](io::Op op, int) { return op == io::Op::Unlink ? EIO : 0; },
       "' was locked, but its former version could not be removed (" + SystemErrorText(EIO) +
           "); it stays hidden as '",
       {}, {}},
      {"a writer comes as it is replaced, and the file cannot be given back",
       [&](io::Op, int rename) {
         if (rename == 1) {
           writer.emplace(
               [&] {
                 const int fd = ::open(("/proc/self/fd/" + std::to_string(found)).c_str(), O_WRONLY | O_APPEND);
                 (void)!::write(fd, "LATE", 4);
               },
               found);
           EXPECT_TRUE(WaitForLeaseBreak());
         }
         return rename == 2 ? EIO : 0;  // the giving back
       },
       "' was locked, but another program opened it for writing just as it was replaced; the version that "
       "program writes to is kept as '" + (dir / "first.sealdoor-original").string() + "'",
       {"first.sealdoor-original"}, late},
      {"another program puts a file in its place, and it cannot be given its place back",
       [&](io::Op, int rename) {
         if (rename == 1) {
           WriteBytes(dir / "theirs", theirs);
           fs::rename(dir / "theirs", f);
         }
         return rename == 2 ? EIO : 0;  // the exchange undone
       },
       "' was locked, but another program put a file in its place while it was being processed; that file is "
       "kept as '" + (dir / "first.sealdoor-other").string() + "'",
       {"first.sealdoor-other"}, theirs},
  };
  for (const Case& c : cases) {
    WriteBytes(f, plain);
    found = ::open(f.c_str(), O_PATH);
    gFaults = c.faults;
    gRenameCalls = 0;
    io::SetFaultHook(&ByCase);
    RecordingPort port;
    BatchCounters counters{1e6, 0};
    {
      CommitGroup group(port);
      EXPECT_TRUE(Form1(port, counters, &group).LockIt(f, "first")) << c.what;
      EXPECT_FALSE(group.Flush()) << c.what;
    }
    io::SetFaultHook(nullptr);
    gFaults = nullptr;
    ::close(found);
    if (writer) writer->Wait();
    writer.reset();
    EXPECT_TRUE(test::IsLockedFormOf(ReadBytes(f), plain, "Abc123")) << c.what;
    ASSERT_EQ(port.messages.size(), 1u) << c.what;
    EXPECT_TRUE(port.messages[0].first.starts_with("'" + f.string() + c.said)) << port.messages[0].first;
    std::vector<std::string> names{"first"};
    names.insert(names.end(), c.beside.begin(), c.beside.end());
    if (c.beside.empty()) {
      // Hidden, with the journal that names it: the next run in the folder
      // removes both.
      EXPECT_EQ(test::Housekeeping(dir.Path()).size(), 2u) << c.what;
      WriteBytes(dir / "next", plain);
      ASSERT_TRUE(Lock(dir / "next"));
      names.push_back("next");
    } else {
      EXPECT_EQ(ReadBytes(dir / c.beside[0]), c.besideBytes) << c.what;
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(dir.Names(), names) << c.what;
    for (const auto& n : dir.Names()) fs::remove(dir / n);
  }
}

void Mark(const fs::path& p) {
  const char value[] = "sealdoor working file";
  ASSERT_EQ(::setxattr(p.c_str(), "user.sealdoor.working", value, sizeof value - 1, 0), 0);
}

std::uint64_t Inode(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st.st_ino;
}

// A file another process holds as a running Sealdoor does, until the end
// of the scope.
struct Held {
  Held(const fs::path& p, int how) : fd(::open(p.c_str(), O_RDONLY)) { EXPECT_EQ(::flock(fd, how), 0); }
  ~Held() { ::close(fd); }
  int fd;
};

// A journal as a run of this user writes it in the folder `p` is in,
// unless `signer` says otherwise.
void WriteJournal(const fs::path& p, const std::vector<std::string>& names,
                  std::optional<journal::Signer> signer = std::nullopt) {
  if (!signer) signer = journal::Signer{JournalKey(), fs::canonical(p.parent_path()).string(), p.filename().string()};
  std::string text(journal::kHeader);
  for (const auto& n : names) text += signer->Sign(journal::WorkingRecord(n));
  WriteBytes(p, std::vector<std::uint8_t>(text.begin(), text.end()));
  ::chmod(p.c_str(), 0600);
}

TEST(WorkingFiles, OnlyWhatAJournalOfADeadRunListsIsRemoved) {
  ScratchDir dir;
  WriteBytes(dir / "f", test::RandomBytes(900, 13));
  // A run killed half-way: its journal and what it lists.
  WriteJournal(dir / ".sealdoor-deadaa.journal",
               {".sealdoor-listed.tmp", ".sealdoor-gonexx.tmp", ".sealdoor-usedxx.tmp", "notes.txt"});
  WriteBytes(dir / ".sealdoor-listed.tmp", {1});
  WriteBytes(dir / ".sealdoor-usedxx.tmp", {2});  // in use by a running run all the same
  WriteBytes(dir / "notes.txt", {3});             // listed, but never a name of ours
  // Runs killed before they listed anything: nothing, the header, part of
  // it. They go; they hold nothing that could be lost.
  WriteJournal(dir / ".sealdoor-header.journal", {});
  for (const std::string& text : {std::string(), std::string(journal::kHeader.substr(0, 9))}) {
    const fs::path p = dir / (text.empty() ? ".sealdoor-emptyx.journal" : ".sealdoor-partly.journal");
    WriteBytes(p, {text.begin(), text.end()});
    ::chmod(p.c_str(), 0600);
  }
  // A running one: its journal is held, and so are its files.
  WriteJournal(dir / ".sealdoor-liveaa.journal", {".sealdoor-runnin.tmp"});
  WriteBytes(dir / ".sealdoor-runnin.tmp", {4});
  // Named like ours and listed nowhere: a user's own files.
  WriteBytes(dir / ".sealdoor-notesx.tmp", {5});
  WriteBytes(dir / ".sealdoor-fakeaa.journal", {6});
  WriteBytes(dir / "other", {7});
  const std::string byNumber = ".sealdoor-r" + std::to_string(Inode(dir / "other")) + "-abcdef.tmp";
  WriteBytes(dir / byNumber, {8});
  // Journals no run of this user wrote in this folder list files that
  // stay: one unpacked from an archive made elsewhere, one signed with
  // another key, one of the earlier unsigned kind, one that is a second
  // name of another file (written to through that one).
  WriteBytes(dir / ".sealdoor-mynote.tmp", {12});
  WriteJournal(dir / ".sealdoor-archiv.journal", {".sealdoor-mynote.tmp"},
               journal::Signer{JournalKey(), "/home/someone/elsewhere", ".sealdoor-archiv.journal"});
  WriteJournal(dir / ".sealdoor-otherk.journal", {".sealdoor-mynote.tmp"},
               journal::Signer{SipKey{}, fs::canonical(dir.Path()).string(), ".sealdoor-otherk.journal"});
  const std::string unsigned1 = "sealdoor working files 1\nw .sealdoor-mynote.tmp\n";
  WriteBytes(dir / ".sealdoor-oldver.journal", {unsigned1.begin(), unsigned1.end()});
  WriteJournal(dir / ".sealdoor-linked.journal", {".sealdoor-mynote.tmp"});
  fs::create_hard_link(dir / ".sealdoor-linked.journal", dir / "journal-link");
  // Left by earlier versions: an original exchanged out under a name giving
  // its own number (not with a zero in front); a working file marked by an
  // attribute, which proves nothing (archives keep attributes), stays.
  WriteBytes(dir / ".sealdoor-marked.tmp", {9});
  Mark(dir / ".sealdoor-marked.tmp");
  WriteBytes(dir / "moved", {10});
  fs::rename(dir / "moved", dir / (".sealdoor-r" + std::to_string(Inode(dir / "moved")) + "-ghijkl.tmp"));
  WriteBytes(dir / "zero", {11});
  const std::string zero = ".sealdoor-r0" + std::to_string(Inode(dir / "zero")) + "-ghijkl.tmp";
  fs::rename(dir / "zero", dir / zero);
  {
    const Held live(dir / ".sealdoor-liveaa.journal", LOCK_EX);
    const Held running(dir / ".sealdoor-runnin.tmp", LOCK_EX);
    const Held used(dir / ".sealdoor-usedxx.tmp", LOCK_SH);
    ASSERT_TRUE(Lock(dir / "f"));
  }
  std::vector<std::string> stay{".sealdoor-archiv.journal", ".sealdoor-fakeaa.journal", ".sealdoor-linked.journal",
                                ".sealdoor-liveaa.journal", ".sealdoor-marked.tmp", ".sealdoor-mynote.tmp",
                                ".sealdoor-notesx.tmp", ".sealdoor-oldver.journal", ".sealdoor-otherk.journal",
                                ".sealdoor-runnin.tmp", ".sealdoor-usedxx.tmp",
                                // The dead run's journal stays while a file it lists is still there.
                                ".sealdoor-deadaa.journal", "f", "journal-link", "notes.txt", "other", zero,
                                byNumber};
  std::sort(stay.begin(), stay.end());
  EXPECT_EQ(dir.Names(), stay);
  EXPECT_EQ(ReadBytes(dir / ".sealdoor-notesx.tmp"), std::vector<std::uint8_t>{5});
  EXPECT_EQ(ReadBytes(dir / ".sealdoor-mynote.tmp"), std::vector<std::uint8_t>{12});
}

// Bytes the disk holds for a file.
std::uint64_t Allocated(const fs::path& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return static_cast<std::uint64_t>(st.st_blocks) * 512;
}

TEST(Holes, ASparseFileStaysSparseBothWaysAndItsBytesAreRight) {
  ScratchDir dir;
  const fs::path f = dir / "disk.img";
  const std::uint64_t size = 64ull << 20;
  using Islands = std::vector<std::pair<std::uint64_t, std::size_t>>;
  // Islands of data: at the start, across a block boundary, near the end;
  // and a file that ends in a hole.
  for (const Islands& islands : {Islands{{0, 5000}, {(8ull << 20) + 13, 4096 * 3}, {size - 777, 777}},
                                 Islands{{(1ull << 20) + 1, 100}}}) {
    {
      std::ofstream(f, std::ios::binary);
      fs::resize_file(f, size);
      std::fstream out(f, std::ios::binary | std::ios::in | std::ios::out);
      for (std::size_t i = 0; i < islands.size(); ++i) {
        const auto bytes = test::RandomBytes(islands[i].second, static_cast<unsigned>(i) + 30);
        out.seekp(static_cast<std::streamoff>(islands[i].first));
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
      }
    }
    if (Allocated(f) > (1u << 20)) GTEST_SKIP() << "this file system keeps no holes";
    const auto plain = ReadBytes(f);
    ASSERT_TRUE(Lock(f));
    EXPECT_LT(Allocated(f), 1u << 20);
    auto locked = ReadBytes(f);
    ASSERT_EQ(locked.size(), size + 702);
    auto scrambled = plain;
    format::ScrambleInPlace(scrambled);
    EXPECT_TRUE(std::equal(scrambled.begin(), scrambled.end(), locked.begin() + 702));
    locked.clear();
    ASSERT_TRUE(Unlock(f));
    EXPECT_LT(Allocated(f), 1u << 20);
    EXPECT_EQ(ReadBytes(f), plain);
  }
}

std::string Shell(const std::string& command) { return test::RunShell(command + " 2>&1").output; }

TEST(Metadata, AccessListsExtendedAttributesAndCapabilitiesAreKept) {
  ScratchDir dir;
  if (Shell("command -v setfacl getfacl setfattr getfattr").empty()) GTEST_SKIP() << "acl and attr are missing";
  const fs::path f = dir / "f";
  const std::string q = "'" + f.string() + "'";
  WriteBytes(f, test::RandomBytes(3000, 40));
  ::chmod(f.c_str(), 0640);
  // The group may not read it; one other user may read and write it.
  ASSERT_EQ(Shell("setfacl -m group::---,user:nobody:rw- " + q), "");
  ASSERT_EQ(Shell("setfattr -n user.xdg.origin.url -v https://example.org/f " + q), "");
  ASSERT_EQ(Shell("setfattr -n user.checksum -v 0x00ff10 " + q), "");
  const bool caps = ::geteuid() == 0 && !Shell("command -v setcap getcap").empty();
  if (caps) {
      ASSERT_EQ(Shell("setcap cap_net_raw+ep " + q), "");
    }
  const std::string acl = Shell("getfacl -c " + q), attrs = Shell("getfattr -d -m user. --absolute-names " + q);
  const std::string capability = caps ? Shell("getcap " + q) : "";
  struct stat before {};
  ::stat(f.c_str(), &before);
  for (const bool lock : {true, false}) {
    ASSERT_TRUE(lock ? Lock(f) : Unlock(f));
    struct stat after {};
    ::stat(f.c_str(), &after);
    EXPECT_EQ(after.st_mode, before.st_mode) << lock;
    EXPECT_EQ(Shell("getfacl -c " + q), acl) << lock;
    EXPECT_EQ(Shell("getfattr -d -m user. --absolute-names " + q), attrs) << lock;
    if (caps) {
      EXPECT_EQ(Shell("getcap " + q), capability) << lock;
    }
  }

  // A file without a list of its own does not pick up its folder's default.
  fs::create_directory(dir / "shared");
  ASSERT_EQ(Shell("setfacl -d -m user:nobody:rwx '" + (dir / "shared").string() + "'"), "");
  const fs::path g = dir / "shared" / "g";
  WriteBytes(g, test::RandomBytes(1000, 41));
  ::chmod(g.c_str(), 0600);
  ASSERT_EQ(Shell("setfacl -b '" + g.string() + "'"), "");
  ASSERT_TRUE(Lock(g));
  struct stat st {};
  ::stat(g.c_str(), &st);
  EXPECT_EQ(st.st_mode & 07777, 0600u);
  EXPECT_EQ(::getxattr(g.c_str(), "system.posix_acl_access", nullptr, 0), -1);
}

TEST(Ownership, RootKeepsAnotherUsersOwnerAndGroup) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  ScratchDir dir;
  const fs::path f = dir / "theirs";
  WriteBytes(f, test::RandomBytes(2000, 42));
  ASSERT_EQ(::chown(f.c_str(), 65534, 65534), 0);
  ASSERT_TRUE(Lock(f));
  struct stat st {};
  ::stat(f.c_str(), &st);
  EXPECT_EQ(st.st_uid, 65534u);
  EXPECT_EQ(st.st_gid, 65534u);
}

// Fails the sync calls whose numbers (from 1) are given.
std::set<int> gFailingSyncs;
int gSyncs = 0;
int FailSyncs(io::Op op) { return op == io::Op::Fsync && gFailingSyncs.contains(++gSyncs) ? EIO : 0; }

TEST(GroupCommit, AFileOfAGroupThatCannotBeCommittedLeavesItAndTheOthersGoIn) {
  ScratchDir dir;
  std::vector<std::vector<std::uint8_t>> plain;
  for (int i = 0; i < 4; ++i) {
    plain.push_back(test::RandomBytes(3000, static_cast<unsigned>(60 + i)));
    WriteBytes(dir / ("f" + std::to_string(i)), plain.back());
  }
  RecordingPort port;
  BatchCounters counters{1000, 0};
  CommitGroup group(port);
  for (int i = 0; i < 4; ++i) {
    bool result = false;
    result = Form1(port, counters, &group).LockIt(dir / ("f" + std::to_string(i)), "f");
    EXPECT_TRUE(result);  // waits in the group
    EXPECT_EQ(ReadBytes(dir / ("f" + std::to_string(i))), plain[static_cast<std::size_t>(i)]);
  }
  // The sync of the whole file system fails; each file's own sync then
  // tells which one it was about: the second. Another program replaces the
  // fourth meanwhile.
  gFailingSyncs = {1, 3};
  gSyncs = 0;
  io::SetFaultHook(&FailSyncs);
  WriteBytes(dir / "other", {7});
  fs::rename(dir / "other", dir / "f3");
  EXPECT_FALSE(group.Flush());
  io::SetFaultHook(nullptr);
  ASSERT_EQ(port.messages.size(), 2u);
  EXPECT_EQ(port.messages[0].first, "'" + (dir / "f1").string() + "' could not be locked: Input/output error");
  EXPECT_TRUE(port.messages[1].first.starts_with("'" + (dir / "f3").string() +
                                                 "' could not be locked: it was changed by another program"));
  EXPECT_TRUE(format::IsLocked(ReadBytes(dir / "f0")));
  EXPECT_EQ(ReadBytes(dir / "f1"), plain[1]);
  EXPECT_TRUE(format::IsLocked(ReadBytes(dir / "f2")));
  EXPECT_EQ(ReadBytes(dir / "f3"), std::vector<std::uint8_t>{7});
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f0", "f1", "f2", "f3", "f3.sealdoor-locked"}));
  EXPECT_TRUE(group.Flush());  // nothing waits now, and nothing failed since
}

// Working files with a name, as on file systems without nameless files.
int NamedWorkingFiles(io::Op op) { return op == io::Op::NamelessFile ? EOPNOTSUPP : 0; }

struct NamedMode {
  NamedMode() { io::SetFaultHook(&NamedWorkingFiles); }
  ~NamedMode() { io::SetFaultHook(nullptr); }
};

TEST(NamedWorkingFiles, RoundTripAndFailuresLeaveNothingBehind) {
  NamedMode named;
  ScratchDir dir;
  const auto plain = test::RandomBytes(100000, 50);
  WriteBytes(dir / "f", plain);
  ASSERT_TRUE(Lock(dir / "f"));
  EXPECT_FALSE(Lock(dir / "f"));
  ASSERT_TRUE(Unlock(dir / "f"));
  EXPECT_EQ(ReadBytes(dir / "f"), plain);
  EXPECT_FALSE(Unlock(dir / "f", "Wrong1"));
  EXPECT_EQ(dir.Names(), std::vector<std::string>{"f"});
}

// A window that interrupts its own process half-way through the content.
struct InterruptingPort : RecordingPort {
  int signal = 0;
  int yields = 0;
  void Yield() override {
    if (std::find(calls.begin(), calls.end(), "Label21 = 1%") != calls.end() && ++yields == 1) ::raise(signal);
  }
};

TEST(Interrupts, AnInterruptRemovesTheWorkingFileAndEndsWithTheSignal) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(24 << 20, 51);
  for (const bool named : {true, false}) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
      WriteBytes(dir / "big", plain);
      const pid_t pid = ::fork();
      if (pid == 0) {
        if (named) io::SetFaultHook(&NamedWorkingFiles);
        GuardProcess();
        InterruptingPort port;
        port.signal = sig;
        BatchCounters counters{1e9, 0};
        Form1 engine(port, counters);
        engine.SetYieldInterval(std::chrono::milliseconds(0));
        ::_exit(engine.LockIt(dir / "big", "big") ? 0 : 1);
      }
      int status = 0;
      ::waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << named << " " << sig << " " << status;
      EXPECT_EQ(dir.Names(), std::vector<std::string>{"big"}) << named << " " << sig;
      EXPECT_EQ(ReadBytes(dir / "big"), plain);
    }
  }
}

TEST(Concurrency, RunsInOneFolderNeverDisturbEachOther) {
  // Three loops, each starting a new process per operation on a file of its
  // own in one folder, as `xargs -P` or a file manager does.
  ScratchDir dir;
  for (const bool named : {true, false}) {
    std::vector<pid_t> loops;
    for (int loop = 0; loop < 3; ++loop) {
      const fs::path f = dir / ("f" + std::to_string(loop));
      WriteBytes(f, test::RandomBytes(5000, static_cast<unsigned>(loop)));
      loops.push_back(::fork());
      if (loops.back() != 0) continue;
      int failures = 0;
      for (int i = 0; i < 60; ++i) {
        const pid_t one = ::fork();
        if (one == 0) {
          if (named) io::SetFaultHook(&NamedWorkingFiles);
          Outcome o;
          RunEngine(o, f, i % 2 == 0);
          for (const auto& m : o.port.messages) std::fprintf(stderr, "%s\n", m.first.c_str());
          ::_exit(o.result ? 0 : 1);
        }
        int status = 0;
        ::waitpid(one, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    for (const pid_t pid : loops) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << named;
    }
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"f0", "f1", "f2"}));
  }
}

}  // namespace
}  // namespace sealdoor
