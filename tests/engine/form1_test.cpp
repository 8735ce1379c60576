// The engine on every system: the format both ways, refusals, progress and
// injected failures.

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "engine/base64.h"
#include "engine/base64_file_codec.h"
#include "engine/commit_group.h"
#include "engine/form1.h"
#include "engine/file_head.h"
#include "engine/format.h"
#include "engine/failure.h"
#include "engine/io_faults.h"
#include "support/fault_hook.h"
#include "engine/path_text.h"
#include "engine/system_error.h"
#include "test_support.h"

namespace sealdoor {
namespace {

namespace fs = std::filesystem;
using text::MessageStyle;
using test::Lock;
using test::Outcome;
using test::ReadBytes;
using test::RecordingPort;
using test::RunEngine;
using test::Unlock;
using test::ScratchDir;
using test::WriteBytes;

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
  const auto q = [&](const char* name) { return "'" + PathText(dir / name) + "'"; };
  const std::vector<Case> cases = {
      {"already locked", locked, true, "Abc123", q("locked.txt") + " is already locked !",
       MessageStyle::Exclamation, 1000 - 1702.0 / 54},
      {"not locked", dir / "plain.txt", false, "Abc123", q("plain.txt") + " is not a locked file !",
       MessageStyle::Critical, 1000 - 1000.0 / 74},
      {"shorter than a head", dir / "short", false, "Abc123", q("short") + " is not a locked file !",
       MessageStyle::Critical, 1000 - 100.0 / 74},
      {"password in other case", locked, false, "abc123", "Invalid password !", MessageStyle::Critical, 1000},
      {"password with one more character", locked, false, "Abc1234", "Invalid password !",
       MessageStyle::Critical, 1000},
      {"password cut short", locked, false, "Abc12", "Invalid password !", MessageStyle::Critical, 1000},
      // A head that names no password is damaged, not a wrong password: no
      // password would ever unlock it.
      {"damaged head", dir / "crafted", false, "Abc123", q("crafted") + " could not be unlocked: its head is damaged",
       MessageStyle::Critical, 1000},
      // The engine checks the password itself before it writes anything.
      {"lock without a password", dir / "plain.txt", true, "",
       q("plain.txt") + " could not be locked: the password must be 1 to 24 letters or digits", MessageStyle::Critical,
       1000},
      {"lock with a space", dir / "plain.txt", true, "a b",
       q("plain.txt") + " could not be locked: the password must be 1 to 24 letters or digits", MessageStyle::Critical,
       1000},
      {"lock with 25 characters", dir / "plain.txt", true, std::string(25, 'x'),
       q("plain.txt") + " could not be locked: the password must be 1 to 24 letters or digits", MessageStyle::Critical,
       1000},
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

TEST(Progress, ASmallLockedFileStaysBelowAHundredUntilItsEnd) {
  ScratchDir dir;
  WriteBytes(dir / "f", test::RandomBytes(3000, 3));  // 3702 bytes locked: an estimate of 61.7 lines for 56
  ASSERT_TRUE(Lock(dir / "f"));
  Outcome o;
  RunEngine(o, dir / "f", false);
  ASSERT_TRUE(o.result);
  std::vector<std::string> figures;
  for (const auto& c : o.port.calls)
    if (c.starts_with("Label21 = ")) figures.push_back(c.substr(10));
  ASSERT_GE(figures.size(), 2u);
  EXPECT_EQ(figures.back(), "100%");  // set at the end, not by the content
  for (std::size_t i = 0; i + 1 < figures.size(); ++i) EXPECT_LT(std::stoi(figures[i]), 100) << figures[i];
  EXPECT_EQ(figures[figures.size() - 2], "90%");  // 56 of 61.7 lines
}

// Records yields among the other calls, so their place shows.
struct YieldCountingPort : RecordingPort {
  void Yield() override { calls.push_back("yield"); }
};

TEST(Progress, EachFileShowsItsNameBeforeItsContentRuns) {
  ScratchDir dir;
  WriteBytes(dir / "small", test::RandomBytes(200, 1));
  for (const bool lock : {true, false}) {
    YieldCountingPort port;
    BatchCounters counters{1000, 0};
    bool result = false;
    Form1 engine(port, counters);
    if (lock)
      result = engine.LockIt(dir / "small", "small");
    else
      result = engine.UnlockIt(dir / "small", "small");
    ASSERT_TRUE(result);
    // The panel, with this file's name, gets painted before the content
    // moves the figures, and the window gets its turn after the file.
    const auto shown = std::find(port.calls.begin(), port.calls.end(), "Frame4 visible");
    ASSERT_NE(shown, port.calls.end());
    EXPECT_EQ(*std::prev(shown), "Label16 = small");
    EXPECT_EQ(*std::next(shown), "yield") << lock;
    EXPECT_EQ(port.calls.back(), "yield");
    if (!lock) {
      EXPECT_EQ(port.calls.front(), "yield");
    }
  }
}

TEST(Progress, TheWindowGetsToRepaintDuringTheContent) {
  ScratchDir dir;
  WriteBytes(dir / "f", test::RandomBytes(12 * 1024 * 1024, 3));  // four chunks
  YieldCountingPort port;
  BatchCounters counters{1e6, 0};
  bool result = false;
  Form1 engine(port, counters);
  engine.SetYieldInterval(std::chrono::milliseconds(0));  // at every chunk
  result = engine.LockIt(dir / "f", "f");
  ASSERT_TRUE(result);
  const auto first = std::find(port.calls.begin(), port.calls.end(), "Frame4 visible");
  const auto last = std::find(port.calls.begin(), port.calls.end(), "Label21 = 100%");
  EXPECT_GE(std::count(first, last, "yield"), 3);
}

// A user who asks for a stop at a moment the test picks: from a pause of
// the engine's (as the window's "Stop" is heard), or at any moment between
// two of them (as Ctrl-C comes, from a signal).
struct StoppingPort : RecordingPort {
  std::function<bool()> atYield, atCaption;
  bool stop = false;
  void Yield() override {
    if (!stop && atYield && atYield()) stop = true;
  }
  void SetCaption(Caption which, std::string_view text) override {
    if (!stop && atCaption && atCaption()) stop = true;
    RecordingPort::SetCaption(which, text);
  }
  bool StopRequested() const override { return stop; }
};

TEST(Stop, TheFileAtHandStaysAsItWasAndItsWorkingFileGoes) {
  ScratchDir dir;
  const auto plain = test::RandomBytes(12 << 20, 60);  // four chunks
  WriteBytes(dir / "plain", plain);
  WriteBytes(dir / "locked", plain);
  ASSERT_TRUE(Lock(dir / "locked"));
  const auto locked = ReadBytes(dir / "locked");
  constexpr double kLines = (12 << 20) / 54.0;
  constexpr double kChunkLines = 1 << 16;
  for (const bool lock : {true, false}) {
    const fs::path f = dir / (lock ? "plain" : "locked");
    // Before the content, early in it, late in it; from a pause, and between
    // pauses (no pause at all comes during the content here).
    for (const double at : {0.0, 0.2, 0.6}) {
      for (const bool fromSignal : {false, true}) {
        StoppingPort port;
        BatchCounters counters{1e9, 0};
        double linesAtRequest = -1;
        auto when = [&] {
          if (counters.LinesDone < at * kLines) return false;
          linesAtRequest = counters.LinesDone;
          return true;
        };
        (fromSignal ? port.atCaption : port.atYield) = when;
        Form1 engine(port, counters);
        engine.SetYieldInterval(fromSignal ? std::chrono::hours(1) : std::chrono::milliseconds(0));
        bool result = true;
        if (lock)
          result = engine.LockIt(f, "f");
        else
          result = engine.UnlockIt(f, "f");
        const std::string round = std::to_string(lock) + " " + std::to_string(at) + " " + std::to_string(fromSignal);
        ASSERT_TRUE(port.stop) << round;
        EXPECT_TRUE(engine.Stopped()) << round;
        EXPECT_FALSE(result) << round;
        EXPECT_TRUE(port.messages.empty()) << round;
        EXPECT_EQ(ReadBytes(f), lock ? plain : locked) << round;
        EXPECT_EQ(dir.Names(), (std::vector<std::string>{"locked", "plain"})) << round;
        // Heard at the end of the chunk at hand, however large the file: a
        // chunk takes milliseconds.
        EXPECT_LE(counters.LinesDone - linesAtRequest, kChunkLines) << round;
      }
    }
  }
  // A stop that comes once the content is complete finds finished work,
  // which goes on to its place.
  StoppingPort port;
  BatchCounters counters{1e9, 0};
  port.atCaption = [&] { return counters.LinesDone >= kLines; };
  Form1 engine(port, counters);
  bool result = false;
  result = engine.LockIt(dir / "plain", "plain");
  EXPECT_TRUE(result);
  EXPECT_FALSE(engine.Stopped());
  EXPECT_TRUE(format::IsLocked(ReadBytes(dir / "plain")));
}

// Makes one kind of call fail while the hook is installed.
io::Op gFailing;
int FailWith(io::Op op) { return op == gFailing ? EIO : 0; }

TEST(Failures, AFailingWriteSyncOrRenameLeavesTheOriginal) {
  ScratchDir dir;
  // Large enough for the engine to reserve its space first.
  const auto plain = test::RandomBytes((1u << 20) + 5000, 10);
  for (const bool lock : {true, false}) {
    for (const io::Op op : {io::Op::Write, io::Op::Fsync, io::Op::Chmod, io::Op::Rename, io::Op::Allocate}) {
      WriteBytes(dir / "f", plain);
      if (!lock) {
        ASSERT_TRUE(Lock(dir / "f"));
      }
      const auto before = ReadBytes(dir / "f");
      gFailing = op;
      Outcome o;
      o.result = true;
      {
        const test::ScopedFaultHook hook(&FailWith);
        RunEngine(o, dir / "f", lock);
      }
      EXPECT_FALSE(o.result);
      EXPECT_EQ(ReadBytes(dir / "f"), before) << static_cast<int>(op);
      ASSERT_EQ(o.port.messages.size(), 1u) << o.port.messages[1].first;
      EXPECT_EQ(o.port.messages[0].first, "'" + (dir / "f").string() +
                                              (lock ? "' could not be locked: " : "' could not be unlocked: ") +
                                              SystemErrorText(EIO));
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
        Outcome o;
        {
          const test::ScopedFaultHook hook(&FailNth);
          RunEngine(o, dir / "f", lock);
        }
        if (o.result) {
          // Past the last call: the new version is complete.
          EXPECT_GT(n, 1) << "no call of this kind was made";
          EXPECT_EQ(ReadBytes(dir / "f").size(), lock ? plain.size() + 702 : plain.size());
          if (!lock) {
            EXPECT_EQ(ReadBytes(dir / "f"), plain);
          }
          break;
        }
        EXPECT_FALSE(o.result) << static_cast<int>(op) << " call " << n;
        ASSERT_EQ(o.port.messages.size(), 1u);
        if (o.port.messages[0].first.find("the disk did not confirm") != std::string::npos) {
          // The folder's sync, the last call: the new version is in place
          // and whole, but the disk cannot vouch for it, and the user is
          // told so.
          EXPECT_EQ(op, io::Op::Fsync);
          EXPECT_EQ(ReadBytes(dir / "f").size(), lock ? plain.size() + 702 : plain.size());
          break;
        }
        EXPECT_EQ(ReadBytes(dir / "f"), before) << static_cast<int>(op) << " call " << n;
        EXPECT_TRUE(o.port.messages[0].first.ends_with(SystemErrorText(ENOSPC))) << o.port.messages[0].first;
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"f"});
      }
    }
  }
}

// A port that looks at the disk when the engine tells the user something
// or moves a bar.
struct WatchingPort : RecordingPort {
  std::function<void()> onMessage, onBar;
  void Report(const Notice& notice) override {
    if (onMessage) onMessage();
    RecordingPort::Report(notice);
  }
  void SetBarWidth(Bar which, int twips) override {
    if (onBar) onBar();
    RecordingPort::SetBarWidth(which, twips);
  }
};

TEST(GroupCommit, NothingWaitsWhileTheUserReadsAMessageOrALargeFileIsWorkedOn) {
  ScratchDir dir;
  const auto small = test::RandomBytes(3000, 70);
  const auto large = test::RandomBytes(2u << 20, 71);
  WriteBytes(dir / "a", small);
  WriteBytes(dir / "b", small);
  ASSERT_TRUE(Lock(dir / "b"));
  WriteBytes(dir / "c", small);
  WriteBytes(dir / "large", large);

  WatchingPort port;
  BatchCounters counters{1e6, 0};
  CommitGroup group(port, CommitGroup::Limits{256, 1u << 20});
  // The message about b finds a in place: it does not wait for the user.
  bool aLockedAtMessage = false;
  port.onMessage = [&] { aLockedAtMessage = format::IsLocked(ReadBytes(dir / "a")); };
  EXPECT_TRUE(Form1(port, counters, &group).LockIt(dir / "a", "a"));
  EXPECT_FALSE(Form1(port, counters, &group).LockIt(dir / "b", "b"));
  EXPECT_TRUE(aLockedAtMessage);
  ASSERT_EQ(port.messages.size(), 1u);
  EXPECT_EQ(port.messages[0].first, "'" + (dir / "b").string() + "' is already locked !");

  // c waits no longer than until a file that would overfill its group
  // starts: c is in place before the large file's first line.
  EXPECT_TRUE(Form1(port, counters, &group).LockIt(dir / "c", "c"));
  // Still the original, held as it waits (on Windows only readers that let
  // it be replaced may open it meanwhile).
  EXPECT_FALSE(format::IsLocked(*ReadFileHead(dir / "c")));
  std::optional<bool> cLockedAtBar;
  port.onBar = [&] {
    if (!cLockedAtBar) cLockedAtBar = format::IsLocked(ReadBytes(dir / "c"));
  };
  EXPECT_TRUE(Form1(port, counters, &group).LockIt(dir / "large", "large"));
  EXPECT_EQ(cLockedAtBar, true);
  EXPECT_TRUE(group.Flush());
  EXPECT_TRUE(format::IsLocked(ReadBytes(dir / "large")));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a", "b", "c", "large"}));
}

}  // namespace
}  // namespace sealdoor
