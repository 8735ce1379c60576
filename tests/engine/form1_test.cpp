#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "engine/base64.h"
#include "engine/base64_file_codec.h"
#include "engine/form1.h"
#include "engine/format.h"
#include "engine/posix_io.h"
#include "test_support.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using test::ReadBytes;
using test::RecordingPort;
using test::ScratchDir;
using test::WriteBytes;

struct Outcome {
  bool result = false;
  RecordingPort port;
  BatchCounters counters{1000, 0};
};

// Runs one engine call the way the dispatcher does: a fresh engine object.
void RunEngine(Outcome& o, const fs::path& path, bool lock, const std::string& password = "Abc123") {
  o.port.password = password;
  Form1 engine(o.port, o.counters);
  if (lock)
    engine.LockIt(path, path.filename().string(), o.result);
  else
    engine.UnlockIt(path, path.filename().string(), o.result);
}

bool Lock(const fs::path& p, const std::string& pw = "Abc123") {
  Outcome o;
  RunEngine(o, p, true, pw);
  return o.result;
}
bool Unlock(const fs::path& p, const std::string& pw = "Abc123") {
  Outcome o;
  RunEngine(o, p, false, pw);
  return o.result;
}

const std::map<std::string, std::string> kVectorPasswords = {
    {"empty", "a"},    {"one", "Abc123"},  {"rem53", "Z9"},  {"block", "Abc123"},
    {"rem1", "x"},     {"rem52", "Password24CharactersLong"}, {"rem53b", "0000"},
    {"head", "Abc123"}, {"text", "Sealdoor1"}, {"blocks100", "q"}};

TEST(Vectors, LockGivesTheirBytesAndUnlockGivesThePlainFile) {
  ScratchDir dir;
  for (const auto& [name, password] : kVectorPasswords) {
    const auto plain = ReadBytes(test::DataFile("vectors/" + name + ".plain"));
    const auto locked = ReadBytes(test::DataFile("vectors/" + name + ".locked"));

    WriteBytes(dir / name, plain);
    ASSERT_TRUE(Lock(dir / name, password)) << name;
    const auto ours = ReadBytes(dir / name);
    ASSERT_EQ(ours.size(), plain.size() + 702) << name;
    // The filler of the key header is random; signature and content are fixed.
    EXPECT_TRUE(std::equal(ours.begin() + 648, ours.end(), locked.begin() + 648)) << name;
    EXPECT_EQ(format::ReadStoredPassword(std::span<const std::uint8_t, 702>(ours.data(), 702)), password);

    WriteBytes(dir / (name + ".locked"), locked);
    ASSERT_TRUE(Unlock(dir / (name + ".locked"), password)) << name;
    EXPECT_EQ(ReadBytes(dir / (name + ".locked")), plain) << name;
  }
}

TEST(LockUnlock, RoundTripsEveryLengthAroundTheBoundaries) {
  ScratchDir dir;
  for (const std::size_t n : std::initializer_list<std::size_t>{0, 1, 51, 52, 53, 54, 55, 107, 108, 701, 702, 703, 54 * 40,
                              3 * 1024 * 1024 + 7}) {
    const auto plain = test::RandomBytes(n, static_cast<unsigned>(n) + 1);
    const fs::path f = dir / "file.bin";
    WriteBytes(f, plain);
    ASSERT_TRUE(Lock(f)) << n;
    const auto locked = ReadBytes(f);
    ASSERT_EQ(locked.size(), n + 702);
    EXPECT_TRUE(format::IsLocked(locked));
    // A final incomplete block is stored as it is.
    const std::size_t tail = n % 54;
    EXPECT_TRUE(std::equal(plain.end() - static_cast<long>(tail), plain.end(),
                           locked.end() - static_cast<long>(tail)));
    EXPECT_FALSE(Lock(f)) << "a locked file is locked again";
    ASSERT_TRUE(Unlock(f)) << n;
    EXPECT_EQ(ReadBytes(f), plain) << n;
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"file.bin"}) << "working files left";
  }
}

// The content the format defines, the long way: Base64 text in 72-character
// lines from the codec, every full line without padding reversed, decoded.
TEST(LockUnlock, ContentEqualsTheTextRoute) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(54 * 3000 + 52, 99);
  WriteBytes(dir / "plain", plain);
  WriteBytes(dir / "file", plain);
  ASSERT_TRUE(Lock(dir / "file"));
  ASSERT_EQ(codec::EncodeBase64File(dir / "plain", dir / "text"), codec::kOk);
  std::ifstream in(dir / "text", std::ios::binary);
  std::string line, reversed;
  while (std::getline(in, line)) {
    line.pop_back();  // CR
    if (line.size() == 72 && line.find('=') == std::string::npos) std::reverse(line.begin(), line.end());
    reversed += line;
  }
  const auto content = base64::Decode(reversed);
  ASSERT_TRUE(content);
  const auto locked = ReadBytes(dir / "file");
  EXPECT_TRUE(std::equal(content->begin(), content->end(), locked.begin() + 702, locked.end()));
}

TEST(Refusals, EachWithItsMessageCountersAndAnUntouchedFile) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(1000, 5);
  const fs::path locked = dir / "locked.txt";
  WriteBytes(locked, plain);
  ASSERT_TRUE(Lock(locked, "Abc123"));
  const auto lockedBytes = ReadBytes(locked);
  auto crafted = lockedBytes;  // length code far past the slots: "z" at position 26
  {
    std::string text = base64::Encode(std::span(crafted).first(702));
    text[25] = 'z';
    const auto head = *base64::Decode(text);
    std::copy(head.begin(), head.end(), crafted.begin());
  }
  WriteBytes(dir / "crafted", crafted);
  WriteBytes(dir / "plain.txt", plain);
  WriteBytes(dir / "short", test::RandomBytes(100, 6));

  struct Case {
    const char* what;
    fs::path file;
    bool lock;
    std::string password;
    std::string message;
    MessageStyle style;
    double totalLines;  // after the call, from 1000
  };
  const std::string q = "'" + dir.Path().string() + "/";
  const std::vector<Case> cases = {
      {"already locked", locked, true, "Abc123", q + "locked.txt' is already locked !",
       MessageStyle::Exclamation, 1000 - 1702.0 / 54},
      {"not locked", dir / "plain.txt", false, "Abc123", q + "plain.txt' is not a locked file !",
       MessageStyle::Critical, 1000 - 1000.0 / 74},
      {"shorter than a head", dir / "short", false, "Abc123", q + "short' is not a locked file !",
       MessageStyle::Critical, 1000 - 100.0 / 74},
      {"password in other case", locked, false, "abc123", "Invalid password !", MessageStyle::Critical, 1000},
      {"password with one more character", locked, false, "Abc1234", "Invalid password !",
       MessageStyle::Critical, 1000},
      {"password cut short", locked, false, "Abc12", "Invalid password !", MessageStyle::Critical, 1000},
      {"crafted head", dir / "crafted", false, "Abc123", "Invalid password !", MessageStyle::Critical, 1000},
  };
  for (const auto& c : cases) {
    const auto before = ReadBytes(c.file);
    Outcome o;
    o.result = true;
    RunEngine(o, c.file, c.lock, c.password);
    EXPECT_FALSE(o.result) << c.what;
    ASSERT_EQ(o.port.messages.size(), 1u) << c.what;
    EXPECT_EQ(o.port.messages[0].first, c.message) << c.what;
    EXPECT_EQ(o.port.messages[0].second, c.style) << c.what;
    EXPECT_DOUBLE_EQ(o.counters.TotalLines, c.totalLines) << c.what;
    EXPECT_EQ(o.counters.LinesDone, 0) << c.what;
    EXPECT_EQ(ReadBytes(c.file), before) << c.what;
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"crafted", "locked.txt", "plain.txt", "short"}));
}

TEST(Progress, ASmallFileShowsEveryStepInOrder) {
  ScratchDir dir;
  WriteBytes(dir / "small", test::RandomBytes(200, 1));
  Outcome o;
  o.counters = {200 / 54, 0};  // as the dispatcher sets it for this one file
  RunEngine(o, dir / "small", true);
  ASSERT_TRUE(o.result);
  // 4 content lines against an estimate of 200/54 lines and a total of 3.
  const std::vector<std::string> expected = {
      "Label18 = Locking", "Label16 = small", "Frame4 visible",
      "Label21 = 27%", "Label22 = 33%", "file bar = 554", "overall bar = 677",
      "Label21 = 54%", "Label22 = 66%", "file bar = 1108", "overall bar = 1354",
      "Label21 = 81%", "Label22 = 100%", "file bar = 1662", "overall bar = 2052",
      "Label21 = 100%", "file bar = 2052"};
  EXPECT_EQ(o.port.calls, expected);
  EXPECT_EQ(o.counters.LinesDone, 4);
}

TEST(Progress, UnlockEstimatesSixtyBytesALine) {
  ScratchDir dir;
  WriteBytes(dir / "f", test::RandomBytes(54 * 200, 2));
  ASSERT_TRUE(Lock(dir / "f"));
  Outcome o;
  o.counters = {1e6, 0};
  RunEngine(o, dir / "f", false);
  ASSERT_TRUE(o.result);
  // 11502 bytes / 60 = 191.7 lines: 100% is reached at line 192 of 200.
  const auto first100 = std::find(o.port.calls.begin(), o.port.calls.end(), "Label21 = 100%");
  ASSERT_NE(first100, o.port.calls.end());
  EXPECT_EQ(o.port.calls[0], "Label18 = Unlocking");
  EXPECT_EQ(std::count(o.port.calls.begin(), o.port.calls.end(), "Label21 = 100%"), 1);
  EXPECT_EQ(o.counters.LinesDone, 200);
}

// Records yields among the other calls, so their place shows.
struct YieldCountingPort : RecordingPort {
  void Yield() override { calls.push_back("yield"); }
};

TEST(Progress, TheWindowGetsToRepaintDuringTheContent) {
  ScratchDir dir;
  WriteBytes(dir / "f", test::RandomBytes(12 * 1024 * 1024, 3));  // four chunks
  YieldCountingPort port;
  BatchCounters counters{1e6, 0};
  bool result = false;
  Form1 engine(port, counters);
  engine.SetYieldInterval(std::chrono::milliseconds(0));  // at every chunk
  engine.LockIt(dir / "f", "f", result);
  ASSERT_TRUE(result);
  const auto first = std::find(port.calls.begin(), port.calls.end(), "Frame4 visible");
  const auto last = std::find(port.calls.begin(), port.calls.end(), "Label21 = 100%");
  EXPECT_GE(std::count(first, last, "yield"), 3);
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

TEST(NotAFile, FoldersFifosAndMissingFilesAreRefusedAtOnce) {
  ScratchDir dir;
  fs::create_directory(dir / "folder");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // opening it for reading would block
  struct Case {
    fs::path path;
    bool lock;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {dir / "folder", true, "' could not be locked: it is a folder"},
      {dir / "fifo", true, "' could not be locked: it is not a regular file"},
      {dir / "fifo", false, "' could not be unlocked: it is not a regular file"},
      {"/dev/null", false, "' could not be unlocked: it is not a regular file"},
      {dir / "missing", true, "' could not be locked: No such file or directory"},
  };
  for (const auto& c : cases) {
    Outcome o;
    RunEngine(o, c.path, c.lock);
    EXPECT_FALSE(o.result);
    ASSERT_EQ(o.port.messages.size(), 1u) << c.path;
    EXPECT_EQ(o.port.messages[0].first, "'" + c.path.string() + c.reason);
    EXPECT_EQ(o.port.messages[0].second, MessageStyle::Critical);
  }
}

// Makes one kind of call fail while the hook is installed.
io::Op gFailing;
int FailWith(io::Op op) { return op == gFailing ? EIO : 0; }

TEST(Failures, AFailingWriteSyncOrRenameLeavesTheOriginal) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(5000, 10);
  for (const bool lock : {true, false}) {
    for (const io::Op op : {io::Op::Write, io::Op::Fsync, io::Op::Chmod, io::Op::Rename, io::Op::Allocate}) {
      WriteBytes(dir / "f", plain);
      if (!lock) {
        ASSERT_TRUE(Lock(dir / "f"));
      }
      const auto before = ReadBytes(dir / "f");
      gFailing = op;
      io::SetFaultHook(&FailWith);
      Outcome o;
      o.result = true;
      RunEngine(o, dir / "f", lock);
      io::SetFaultHook(nullptr);
      EXPECT_FALSE(o.result);
      EXPECT_EQ(ReadBytes(dir / "f"), before) << static_cast<int>(op);
      ASSERT_EQ(o.port.messages.size(), 1u);
      EXPECT_EQ(o.port.messages[0].first, "'" + (dir / "f").string() +
                                              (lock ? "' could not be locked: " : "' could not be unlocked: ") +
                                              "Input/output error");
      EXPECT_EQ(dir.Names(), std::vector<std::string>{"f"});
    }
  }
}

// Fails only the n-th call of one kind.
int gNth = 0;
int gSeen = 0;
int FailNth(io::Op op) { return op == gFailing && ++gSeen == gNth ? ENOSPC : 0; }

TEST(Failures, EachReadWriteAndSyncFailingInTurnLeavesTheOriginal) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(8 * 1024 * 1024 + 5, 14);  // three chunks
  for (const bool lock : {true, false}) {
    for (const io::Op op : {io::Op::Read, io::Op::Write, io::Op::Fsync}) {
      for (int n = 1; n < 50; ++n) {
        WriteBytes(dir / "f", plain);
        if (!lock) {
          ASSERT_TRUE(Lock(dir / "f"));
        }
        const auto before = ReadBytes(dir / "f");
        gFailing = op;
        gNth = n;
        gSeen = 0;
        io::SetFaultHook(&FailNth);
        Outcome o;
        RunEngine(o, dir / "f", lock);
        io::SetFaultHook(nullptr);
        if (o.result) {
          // Past the last call that matters (the folder's sync after the
          // rename cannot undo it): the new version is complete.
          EXPECT_GT(n, 1) << "no call of this kind was made";
          EXPECT_EQ(ReadBytes(dir / "f").size(), lock ? plain.size() + 702 : plain.size());
          if (!lock) {
            EXPECT_EQ(ReadBytes(dir / "f"), plain);
          }
          break;
        }
        EXPECT_FALSE(o.result) << static_cast<int>(op) << " call " << n;
        EXPECT_EQ(ReadBytes(dir / "f"), before) << static_cast<int>(op) << " call " << n;
        ASSERT_EQ(o.port.messages.size(), 1u);
        EXPECT_TRUE(o.port.messages[0].first.ends_with("No space left on device")) << o.port.messages[0].first;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"f"});
      }
    }
  }
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

// A window whose yield lets another program act on the file mid-way.
struct MeddlingPort : RecordingPort {
  std::function<void()> meddle;
  void Yield() override {
    if (meddle) std::exchange(meddle, nullptr)();
  }
};

TEST(Failures, AFileChangedWhileBeingProcessedKeepsBothVersions) {
  ScratchDir dir;
  const fs::path f = dir / "f";
  const auto plain = test::RandomBytes(4000, 12);
  const std::string kept = "; what was read is kept, locked, as '" + (dir / "f.sealdoor-locked").string() + "'";
  struct Case {
    const char* what;
    std::function<void()> meddle;
    std::string reason;
    std::optional<std::vector<std::uint8_t>> theirs;  // what the other program left
  };
  const std::vector<std::uint8_t> other = {1, 2, 3};
  auto appended = plain;
  appended.insert(appended.end(), {'m', 'o', 'r', 'e'});
  const std::vector<Case> cases = {
      {"appended", [&] { std::ofstream(f, std::ios::app) << "more"; },
       "it was changed by another program while it was being processed" + kept, appended},
      {"replaced", [&] { WriteBytes(dir / "other", other); fs::rename(dir / "other", f); },
       "it was changed by another program while it was being processed" + kept, other},
      {"deleted", [&] { fs::remove(f); }, "it was deleted while being processed" + kept, std::nullopt},
  };
  for (const auto& c : cases) {
    WriteBytes(f, plain);
    MeddlingPort port;
    port.meddle = c.meddle;
    BatchCounters counters{100, 0};
    bool result = true;
    Form1(port, counters).LockIt(f, "f", result);
    EXPECT_FALSE(result) << c.what;
    ASSERT_EQ(port.messages.size(), 1u) << c.what;
    EXPECT_EQ(port.messages[0].first, "'" + f.string() + "' could not be locked: " + c.reason) << c.what;
    if (c.theirs) {
      EXPECT_EQ(ReadBytes(f), *c.theirs) << c.what;
    } else {
      EXPECT_FALSE(fs::exists(f));
    }
    // Ours is the locked form of what was read, and unlocks to it.
    ASSERT_TRUE(Unlock(dir / "f.sealdoor-locked")) << c.what;
    EXPECT_EQ(ReadBytes(dir / "f.sealdoor-locked"), plain) << c.what;
    fs::remove(dir / "f.sealdoor-locked");
    fs::remove(f);
    EXPECT_TRUE(dir.Names().empty()) << c.what;
  }
}

TEST(WorkingFiles, LeftoversOfAKilledRunGoButLiveOnesStay) {
  ScratchDir dir;
  WriteBytes(dir / "f", test::RandomBytes(900, 13));
  WriteBytes(dir / ".sealdoor-abcdef.tmp", {1});  // left by a killed run
  WriteBytes(dir / ".sealdoor-ghijkl.tmp", {2});  // in use by a running one
  WriteBytes(dir / ".sealdoor-notours.tmp", {3});  // not a name we make
  const int held = ::open((dir / ".sealdoor-ghijkl.tmp").c_str(), O_RDONLY);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  ASSERT_TRUE(Lock(dir / "f"));
  ::close(held);
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{".sealdoor-ghijkl.tmp", ".sealdoor-notours.tmp", "f"}));
}

}  // namespace
}  // namespace sealdoor
