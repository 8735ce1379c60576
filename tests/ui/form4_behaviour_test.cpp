// The window's behaviour with no toolkit: the password box, hover
// feedback, the button handlers, the batch and its closing, OpenIt, drops.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <span>
#include <thread>

#include "../engine/test_support.h"
#include "engine/format.h"
#include "recording_view.h"
#include "service_fakes.h"
#include "shell/program_starter.h"
#ifndef _WIN32
#include "support/xdg_fixture.h"
#endif

namespace sealdoor::test {
namespace {

namespace fs = std::filesystem;

struct Behaviour {
  RecordingView view;
  FakeMessages messages;
  FakePointer pointer;
  FakeDialog dialog;
  FakeStarter starter;
  ui::Form4 form{view, {messages, pointer, dialog, starter}};
  Behaviour() {
    view.form = &form;
    form.Form_Load();
    form.SetOpenPause(std::chrono::seconds(0));
  }
};

bool IsLocked(const fs::path& p) { return format::IsLocked(ReadBytes(p)); }

const std::string kInvalid = "Invalid characters in password !\n\rEnter letters or digits only.";

TEST(Form4Behaviour, LoadSetsTheCaptionAndThePointer) {
  Behaviour b;
  EXPECT_EQ(b.view.caption, "Sealdoor");
  EXPECT_EQ(b.pointer.history, std::vector<bool>{false});
  EXPECT_FALSE(b.view.hint);
}

TEST(Form4Behaviour, PasswordBoxKeepsLettersAndDigitsOnly) {
  struct Case {
    std::vector<std::string> changes;  // each a change of the box's text
    std::string left;
    int messages;
  };
  const std::vector<Case> cases = {
      {{"a", "ab", "abc", "abc1"}, "abc1", 0},
      {{"0123456789"}, "0123456789", 0},
      {{"a", "a!"}, "", 1},
      {{"abc def"}, "", 1},      // pasted with a space
      {{"a b!c_d"}, "", 1},      // many refused: one message
      {{"caf\xc3\xa9"}, "", 1},  // an accented letter
      {{"x_"}, "", 1},
      {{"x`"}, "", 1},
      {{"["}, "", 1},
  };
  for (const auto& c : cases) {
    Behaviour b;
    bool hintWhileMessage = false;
    b.messages.onShow = [&](const std::string&) { hintWhileMessage = b.view.hint && b.view.text1.empty(); };
    for (const auto& text : c.changes) b.view.SetText1(text);
    EXPECT_EQ(b.view.text1, c.left) << c.changes.back();
    ASSERT_EQ(static_cast<int>(b.messages.shown.size()), c.messages) << c.changes.back();
    if (c.messages) {
      EXPECT_EQ(b.messages.shown[0], std::make_pair(kInvalid, MessageStyle::None));
      EXPECT_TRUE(hintWhileMessage);  // emptied, hint shown, then the message
    }
    EXPECT_EQ(b.view.hint, c.left.empty());
  }
}

TEST(Form4Behaviour, HoverShowsTheHintAndTurnsThePadlock) {
  Behaviour b;
  b.form.Command5_MouseMove();
  EXPECT_TRUE(b.view.hint);  // the box is empty
  EXPECT_TRUE(b.view.padlockOpen);
  b.form.Frame3_MouseMove();  // no status text: nothing changes
  EXPECT_TRUE(b.view.padlockOpen);
  b.form.Command4_MouseMove();
  EXPECT_FALSE(b.view.padlockOpen);
  b.view.Type("a");
  EXPECT_FALSE(b.view.hint);
  b.form.Command6_MouseMove();
  EXPECT_FALSE(b.view.hint);
  EXPECT_TRUE(b.view.padlockOpen);
  b.view.status = "File locked !";  // left by a batch
  b.form.Frame3_MouseMove();
  EXPECT_EQ(b.view.status, "");
  EXPECT_FALSE(b.view.padlockOpen);
}

TEST(Form4Behaviour, ButtonsWithoutAPasswordOnlyFocusTheBox) {
  Behaviour b;
  b.form.Command4_Click();
  b.form.Command5_Click();
  b.form.Command6_Click();
  EXPECT_TRUE(b.view.focusOnText1);
  EXPECT_TRUE(b.dialog.asked.empty());
  EXPECT_TRUE(b.messages.shown.empty());
}

TEST(Form4Behaviour, BatchStartsEmptyAndClosesInTheOrderGiven) {
  ScratchDir dir;
  WriteBytes(dir / "a", RandomBytes(5000, 1));
  Behaviour b;
  b.view.Type("pw1");
  b.view.bars = {{Bar::File, 2052}, {Bar::Overall, 2052}};
  b.view.captions = {{Caption::Label21, "100%"}, {Caption::Label22, "100%"}};
  // What the window shows at the batch's first yield after its start, and
  // while the closing message is up.
  bool sawStart = false;
  b.view.onYield = [&] {
    if (sawStart || b.view.enabled) return;
    sawStart = true;
    EXPECT_EQ(b.view.status, "\n\rWorking...  Plese wait...");
    EXPECT_EQ(b.view.statusColour, ui::kRed);
    EXPECT_TRUE(b.pointer.busy);
  };
  b.dialog.answers = {(dir / "a").string()};
  b.form.Command4_Click();
  ASSERT_TRUE(sawStart);
  ASSERT_TRUE(IsLocked(dir / "a"));
  // Both bars started at 0 and both figures empty: the file's own figures
  // ran from there; only the closing put the overall figure at 100%.
  EXPECT_EQ(b.view.bars[Bar::Overall], 2052);
  EXPECT_EQ(b.view.captions[Caption::Label22], "100%");

  b.dialog.answers = {(dir / "a").string()};
  b.messages.shown.clear();
  bool frameHidden = false, pointerNormal = false, stillDisabled = false;
  b.messages.onShow = [&](const std::string&) {
    frameHidden = !b.view.progress;
    pointerNormal = !b.pointer.busy;
    stillDisabled = !b.view.enabled;
  };
  // When the panel first shows the file, before its content ran: both bars
  // empty and both figures blank, whatever the last batch left.
  std::optional<std::map<Bar, int>> bars;
  std::map<Caption, std::string> figures;
  b.view.onYield = [&] {
    if (bars || !b.view.progress) return;
    bars = b.view.bars;
    figures = b.view.captions;
  };
  b.form.Command5_Click();
  ASSERT_TRUE(bars);
  EXPECT_EQ(*bars, (std::map<Bar, int>{{Bar::File, 0}, {Bar::Overall, 0}}));
  EXPECT_EQ(figures[Caption::Label21], "");
  EXPECT_EQ(figures[Caption::Label22], "");
  EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"File Unlocked !"});
  EXPECT_TRUE(frameHidden);
  EXPECT_TRUE(pointerNormal);
  EXPECT_TRUE(stillDisabled);  // enabled only after the message closes
  EXPECT_TRUE(b.view.enabled);
  EXPECT_EQ(b.view.status, "");
  EXPECT_EQ(b.view.statusColour, ui::kBlack);
  EXPECT_EQ(b.view.captions[Caption::Label16], "a");
}

TEST(Form4Behaviour, ABatchSaysItsFirstFailureThenSumsUpTheRestOnce) {
  // Twenty locked files under another password: one box for the first,
  // naming its file, and at the end one summary listing every file with
  // its reason and the counts. One failure among several files: that box
  // alone. A batch of one file: the box as it always was.
  struct Case {
    const char* name;
    std::size_t files, lockedElsewhere;
  };
  for (const Case c : {Case{"twenty", 20, 20}, Case{"one of three", 3, 1}, Case{"a single file", 1, 1}}) {
    SCOPED_TRACE(c.name);
    ScratchDir dir;
    std::string selection = dir.Path().string();
    std::vector<std::string> names;
    for (std::size_t i = 0; i < c.files; ++i) {
      names.push_back("f" + std::to_string(100 + i));
      WriteBytes(dir / names.back(), RandomBytes(2000, static_cast<unsigned>(i)));
      selection += '\0' + names.back();
    }
    for (std::size_t i = 0; i < c.lockedElsewhere; ++i) ASSERT_TRUE(Lock(dir / names[i], "other1"));
    Behaviour b;
    b.view.Type("pw1");
    b.dialog.answers = {c.files == 1 ? (dir / names[0]).string() : selection};
    const std::string wrong = "Invalid password !";
    // The rest under the password typed.
    for (std::size_t i = c.lockedElsewhere; i < c.files; ++i) ASSERT_TRUE(Lock(dir / names[i], "pw1"));
    b.form.Command5_Click();
    const auto quoted = [&](std::size_t i) { return "'" + (dir / names[i]).string() + "'"; };
    const std::size_t done = c.files - c.lockedElsewhere;
    for (std::size_t i = 0; i < c.files; ++i) EXPECT_EQ(IsLocked(dir / names[i]), i < c.lockedElsewhere) << i;
    if (c.files == 1) {
      EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{wrong});
      continue;
    }
    ASSERT_FALSE(b.messages.shown.empty());
    EXPECT_EQ(b.messages.shown[0].first, quoted(0) + ": " + wrong);
    if (c.lockedElsewhere == 1) {
      EXPECT_TRUE(b.messages.summaries.empty());
      EXPECT_EQ(b.messages.Texts(), (std::vector<std::string>{quoted(0) + ": " + wrong, "Files Unlocked !"}));
      continue;
    }
    ASSERT_EQ(b.messages.summaries.size(), 1u);
    EXPECT_EQ(b.messages.summaries[0].first,
              std::to_string(done) + " of " + std::to_string(c.files) + " files unlocked.");
    std::string list = std::to_string(c.lockedElsewhere) + " files were not unlocked:";
    for (std::size_t i = 0; i < c.lockedElsewhere; ++i) list += "\r\n" + quoted(i) + ": " + wrong;
    EXPECT_EQ(b.messages.summaries[0].second, list);
    // Nothing else: the first box and the summary (no file done, no closing).
    EXPECT_EQ(b.messages.shown.size(), 2u);
    EXPECT_TRUE(b.view.enabled);
  }
}

TEST(Form4Behaviour, ABatchOfManySmallFilesLetsTheWindowPaintAboutOnceAFrame) {
  // Painting at every one of the engine's pauses would cost more than the
  // files; the window still hears from the batch each frame, and the panel
  // is painted as soon as it appears.
  ScratchDir dir;
  std::string selection = dir.Path().string();
  for (int i = 0; i < 300; ++i) {
    WriteBytes(dir / ("f" + std::to_string(i)), RandomBytes(100, static_cast<unsigned>(i)));
    selection += '\0' + ("f" + std::to_string(i));
  }
  Behaviour b;
  b.view.Type("pw1");
  bool panelPaintedEmpty = false;
  b.view.onYield = [&] {
    if (b.view.progress && b.view.yields > 0 && !panelPaintedEmpty && b.view.bars[Bar::Overall] == 0)
      panelPaintedEmpty = true;
  };
  b.dialog.answers = {selection};
  const auto start = std::chrono::steady_clock::now();
  b.form.Command4_Click();
  const auto frames = (std::chrono::steady_clock::now() - start) / std::chrono::milliseconds(16);
  ASSERT_TRUE(IsLocked(dir / "f299"));
  EXPECT_TRUE(panelPaintedEmpty);
  // The batch's start, its first file, then a frame at a time.
  EXPECT_LE(b.view.yields, 6 + frames) << "in " << frames << " frames";
}

TEST(Form4Behaviour, StopEscapeAndTheTitleBarsCloseStopTheBatchAndTheWindowStays) {
  ScratchDir dir;
  const std::vector<std::string> names = {"a", "b", "c"};
  std::string selection = dir.Path().string();
  for (const auto& n : names) selection += '\0' + n;
  enum Way { kStop, kEscape, kTitleBar };
  for (const Way way : {kStop, kEscape, kTitleBar}) {
    for (const auto& n : names) WriteBytes(dir / n, RandomBytes(3000, 20));
    Behaviour b;
    b.view.Type("pw1");
    std::optional<bool> cancelled;
    bool stopOffered = false, hoverChangedNothing = false;
    // While the panel shows the first file, before its content.
    b.view.onYield = [&] {
      if (cancelled || b.view.captions[Caption::Label16] != "a" || !b.view.progress) return;
      stopOffered = b.view.stopOffered && !b.view.enabled;
      // The pointer over the panel leaves the working text alone meanwhile.
      b.form.Frame3_MouseMove();
      b.form.Command5_MouseMove();
      hoverChangedNothing = b.view.status.ends_with("Working...  Plese wait...") && !b.view.padlockOpen;
      if (way == kStop) b.form.Command7_Click();
      if (way == kEscape) b.form.EscapePressed();
      cancelled = way == kTitleBar && b.form.Form_QueryUnload();
    };
    // While the message is up nothing ends the program: Close is disabled.
    b.messages.onShow = [&](const std::string&) {
      const bool cancel = b.form.Form_QueryUnload();
      b.form.Command7_Click();
      EXPECT_TRUE(cancel);
      EXPECT_FALSE(b.view.enabled || b.view.stopOffered);
    };
    b.dialog.answers = {selection};
    b.form.Command4_Click();
    ASSERT_TRUE(cancelled) << way;
    EXPECT_EQ(*cancelled, way == kTitleBar) << way;
    EXPECT_TRUE(stopOffered) << way;
    EXPECT_TRUE(hoverChangedNothing) << way;
    EXPECT_EQ(b.messages.shown, (std::vector<std::pair<std::string, MessageStyle>>{
                                    {"Stopped: 0 of 3 files locked. The other files were not changed.",
                                     MessageStyle::Information}}))
        << way;
    EXPECT_EQ(ReadBytes(dir / "a"), RandomBytes(3000, 20));
    EXPECT_EQ(ReadBytes(dir / "b"), RandomBytes(3000, 20));
    EXPECT_EQ(ReadBytes(dir / "c"), RandomBytes(3000, 20));
    EXPECT_EQ(dir.Names(), names);
    EXPECT_FALSE(b.view.ended);
    EXPECT_TRUE(b.view.enabled && !b.view.stopOffered && !b.view.progress && !b.pointer.busy);
    EXPECT_EQ(b.view.status, "");
    // Ready again: Escape does nothing, the title bar's close ends it.
    b.form.EscapePressed();
    EXPECT_FALSE(b.view.ended);
    EXPECT_FALSE(b.form.Form_QueryUnload());
    EXPECT_TRUE(b.view.ended);
  }
}

TEST(Form4Behaviour, AStopAtAnyMomentLeavesEveryFileWholeAndSaysHowManyWereDone) {
  // Many small files and a large one, stopped at random moments both ways:
  // each file is its original or its complete other form, no working file
  // is left, and the message's count is what the folder shows.
  ScratchDir dir;
  std::vector<std::string> names;
  std::vector<std::vector<std::uint8_t>> plain, locked;
  std::string selection = dir.Path().string();
  for (unsigned i = 0; i < 60; ++i) {
    names.push_back(i == 30 ? "large" : "f" + std::to_string(i));
    plain.push_back(RandomBytes(i == 30 ? (8u << 20) : i * 97, 100 + i));
    selection += '\0' + names.back();
    WriteBytes(dir / names.back(), plain.back());
    ASSERT_TRUE(Lock(dir / names.back(), "Stop42"));
    locked.push_back(ReadBytes(dir / names.back()));
  }
  auto sortedNames = names;
  std::sort(sortedNames.begin(), sortedNames.end());
  const std::string batch = selection;
  for (const bool lock : {true, false}) {
    const auto& before = lock ? plain : locked;
    auto reset = [&] {
      for (std::size_t i = 0; i < names.size(); ++i) WriteBytes(dir / names[i], before[i]);
    };
    // The moments of a whole batch: each figure it shows, within which each
    // stop falls (a stop asked for between the window's pauses is heard at
    // the end of the chunk at hand, or at the next pause).
    reset();
    int figures = 0;
    {
      Behaviour b;
      b.view.Type("Stop42");
      b.view.onCaption = [&] { ++figures; };
      b.dialog.answers = {batch};
      lock ? b.form.Command4_Click() : b.form.Command5_Click();
    }
    std::mt19937 gen(lock ? 23 : 24);
    // At random moments, once inside the large file's content, and once at
    // the window's first pause in the batch.
    std::vector<int> moments = {-1, 0};
    for (int r = 0; r < 6; ++r) moments.push_back(std::uniform_int_distribution<int>(1, figures)(gen));
    for (const int moment : moments) {
      reset();
      Behaviour b;
      b.view.Type("Stop42");
      int figure = 0;
      b.view.onYield = [&] {
        if (moment == 0 && b.view.stopOffered) b.form.Command7_Click();
      };
      b.view.onCaption = [&] {
        const std::string& filePercent = b.view.captions[Caption::Label21];
        const bool insideLarge = b.view.captions[Caption::Label16] == "large" && filePercent.size() > 1 &&
                                 filePercent != "0%" && filePercent != "100%";
        if (moment < 0 ? insideLarge : ++figure == moment) b.form.Command7_Click();
      };
      b.dialog.answers = {batch};
      lock ? b.form.Command4_Click() : b.form.Command5_Click();
      const std::string round = std::string(lock ? "lock" : "unlock") + " at " + std::to_string(moment);
      std::size_t changed = 0;
      for (std::size_t i = 0; i < names.size(); ++i) {
        const auto now = ReadBytes(dir / names[i]);
        if (now == before[i]) continue;
        ++changed;
        EXPECT_TRUE(lock ? test::IsLockedFormOf(now, plain[i], "Stop42") : now == plain[i]) << names[i] << " " << round;
      }
      EXPECT_EQ(dir.Names(), sortedNames) << round;
      ASSERT_EQ(b.messages.shown.size(), 1u) << round;
      const std::string& said = b.messages.shown[0].first;
      if (said == (lock ? "Files locked !" : "Files Unlocked !")) {
        EXPECT_EQ(changed, names.size()) << round;  // the stop came after the last file
      } else {
        EXPECT_EQ(said, "Stopped: " + std::to_string(changed) + " of 60 files " + (lock ? "locked" : "unlocked") +
                            ". The other files were not changed.")
            << round;
      }
      if (moment < 0) {
        EXPECT_NE(ReadBytes(dir / "large"), lock ? locked[30] : plain[30]) << round;
      }
    }
  }
}

// A desktop where "Unlock and Open" finds a program for a file, and such a
// file in `dir`: on Windows one that starts itself; elsewhere one whose type
// a desktop of the test's own gives a program (GIO reads it once a process).
#ifdef _WIN32
struct Desktop {
  Desktop() {}  // nothing to set up
};
fs::path OpenableIn(const ScratchDir& dir) { return dir / "setup.exe"; }
#else
struct Desktop {
  XdgFixture xdg;
  Desktop() { xdg.Apply(); }
};
fs::path OpenableIn(const ScratchDir& dir) { return dir / "report.sdtest"; }
#endif

TEST(Form4Behaviour, OpenItPausesWithTheBusyPointerWhileTheWindowWaits) {
  // The pause after the started program: one that starts itself where a
  // file may (Windows), else the program of the file's type, from a desktop
  // of the test's own.
  ScratchDir dir;
  const Desktop desktop;
  const fs::path file = OpenableIn(dir);
  const bool direct = shell::StartsItself(file.extension().string());
  WriteBytes(file, RandomBytes(2000, 3));
  Behaviour b;
  b.form.SetOpenPause(std::chrono::seconds(3));
  b.view.Type("pw1");
  b.dialog.answers = {file.string(), file.string()};
  b.form.Command4_Click();
  std::chrono::steady_clock::time_point started;
  std::vector<std::pair<bool, bool>> busyAndDisabled;  // at each yield after the start
  b.starter.onStart = [&] { started = std::chrono::steady_clock::now(); };
  b.view.onYield = [&] {
    if (!b.starter.started.empty()) busyAndDisabled.emplace_back(b.pointer.busy, !b.view.enabled);
  };
  b.form.Command6_Click();
  const auto paused = std::chrono::steady_clock::now() - started;
  ASSERT_EQ(b.starter.started.size(), 1u);
  EXPECT_EQ(b.starter.started[0].back(), file.string());
  EXPECT_GE(paused, std::chrono::seconds(3));
  // The pause serves the window throughout with the busy pointer, and the
  // window stays disabled until OpenIt has returned. A program started
  // directly gets one more yield with the pointer back.
  ASSERT_GT(busyAndDisabled.size(), 10u);
  const std::size_t busyYields = busyAndDisabled.size() - (direct ? 1 : 0);
  for (std::size_t i = 0; i < busyYields; ++i) EXPECT_EQ(busyAndDisabled[i], std::make_pair(true, true));
  if (direct) {
    EXPECT_EQ(busyAndDisabled.back(), std::make_pair(false, true));
  }
  EXPECT_TRUE(b.view.enabled);
  EXPECT_FALSE(b.pointer.busy);
}

TEST(Form4Behaviour, AFileOpenedUnlockedWaitsForLockFilesOrItsProgramsEnd) {
  // After "Unlock and Open" the file waits for Lock Files, the password
  // kept in the box; its program ending after a while locks it again by
  // itself, said on the status line. A program that ends at once handed
  // the file on: the file waits for the button. A file the lock refuses
  // waits on.
  enum class Way { Button, ProgramRanAWhile, ProgramEndedAtOnce, PasswordChanged };
  const Desktop desktop;  // one for every case
  for (const Way way : {Way::Button, Way::ProgramRanAWhile, Way::ProgramEndedAtOnce, Way::PasswordChanged}) {
    SCOPED_TRACE(static_cast<int>(way));
    ScratchDir dir;
    const fs::path file = OpenableIn(dir);
    const auto plain = RandomBytes(2500, 9);
    WriteBytes(file, plain);
    ASSERT_TRUE(Lock(file, "pw1"));
    Behaviour b;
    b.form.SetRanAWhile(way == Way::ProgramEndedAtOnce ? std::chrono::hours(1) : std::chrono::milliseconds(0));
    b.view.Type("pw1");
    b.dialog.answers = {file.string()};
    b.form.Command6_Click();
    ASSERT_EQ(b.starter.started.size(), 1u);
    ASSERT_EQ(ReadBytes(file), plain);
    EXPECT_EQ(b.view.Text1(), "pw1");
    EXPECT_EQ(b.view.status, "'" + file.filename().string() + "' is open unlocked: Lock Files locks it again");
    EXPECT_EQ(b.form.PendingFiles(), std::vector<std::string>{file.string()});
    b.messages.shown.clear();
    b.view.RunTimers();  // the program still runs: nothing changes
    EXPECT_EQ(ReadBytes(file), plain);
    ASSERT_EQ(b.view.timers.size(), 1u);  // and it is watched on
    if (way == Way::Button) {
      b.form.Command4_Click();
      EXPECT_TRUE(b.dialog.asked.size() == 1u);  // no dialog for it
      EXPECT_TRUE(IsLockedFormOf(ReadBytes(file), plain, "pw1"));
      EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"File locked !"});
      EXPECT_TRUE(b.form.PendingFiles().empty());
      b.starter.programs[0]->ended = true;
      b.view.RunTimers();  // the program's end then changes nothing
      EXPECT_TRUE(b.view.timers.empty());
      continue;
    }
    if (way == Way::PasswordChanged) b.view.Type("pw2");
    b.starter.programs[0]->ended = true;
    b.view.RunTimers();
    EXPECT_TRUE(b.view.timers.empty());  // nothing more to watch
    if (way == Way::ProgramRanAWhile) {
      EXPECT_TRUE(IsLockedFormOf(ReadBytes(file), plain, "pw1"));
      EXPECT_TRUE(b.messages.shown.empty());  // no box for it
      EXPECT_EQ(b.view.status, "'" + file.filename().string() + "' was closed, and is locked again");
      EXPECT_TRUE(b.form.PendingFiles().empty());
    } else {
      EXPECT_EQ(ReadBytes(file), plain);
      EXPECT_EQ(b.form.PendingFiles(), std::vector<std::string>{file.string()});
    }
  }
}

TEST(Form4Behaviour, AFileOpenedUnlockedThatTheLockRefusesWaitsOn) {
  ScratchDir dir;
  const Desktop desktop;
  const fs::path file = OpenableIn(dir);
  const auto plain = RandomBytes(2500, 10);
  WriteBytes(file, plain);
  ASSERT_TRUE(Lock(file, "pw1"));
  Behaviour b;
  b.form.SetRanAWhile(std::chrono::milliseconds(0));
  b.view.Type("pw1");
  b.dialog.answers = {file.string()};
  b.form.Command6_Click();
  ASSERT_EQ(b.starter.programs.size(), 1u);
  ASSERT_EQ(ReadBytes(file), plain);
  b.messages.shown.clear();
  {
    // Its program's end, while another program still writes to it: refused
    // as any such file, and it waits on.
    std::ofstream writer(file, std::ios::binary | std::ios::app);
    b.starter.programs[0]->ended = true;
    b.view.RunTimers();
  }
  EXPECT_EQ(ReadBytes(file), plain);
  EXPECT_EQ(b.messages.shown.size(), 1u);
  EXPECT_EQ(b.form.PendingFiles(), std::vector<std::string>{file.string()});
  EXPECT_EQ(b.view.status, "'" + file.filename().string() + "' is open unlocked: Lock Files locks it again");
  b.form.Command4_Click();
  EXPECT_TRUE(IsLockedFormOf(ReadBytes(file), plain, "pw1"));
  EXPECT_TRUE(b.form.PendingFiles().empty());
}

TEST(Form4Behaviour, DroppedFilesRunTheButtonsBatch) {
  ScratchDir dir;
  fs::create_directory(dir / "other");
  WriteBytes(dir / "a", RandomBytes(3000, 4));
  WriteBytes(dir / "other" / "b", RandomBytes(3000, 5));
  const std::vector<std::string> both = {(dir / "a").string(), (dir / "other" / "b").string()};
  Behaviour b;
  b.form.DropFiles(Action::Lock, both);  // no password: as the button, nothing but the hint and the focus
  EXPECT_TRUE(b.view.hint);
  EXPECT_TRUE(b.view.focusOnText1);
  EXPECT_FALSE(IsLocked(dir / "a"));

  b.view.Type("pw1");
  b.form.DropFiles(Action::Lock, both);
  EXPECT_TRUE(IsLocked(dir / "a") && IsLocked(dir / "other" / "b"));
  EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"Files locked !"});
  EXPECT_TRUE(b.dialog.asked.empty());

  b.form.DropFiles(Action::UnlockAndOpen, both);  // "Unlock and Open" takes one
  EXPECT_EQ(b.messages.shown.back(),
            std::make_pair(std::string("\"Unlock and Open\" takes one file at a time."), MessageStyle::Exclamation));
  EXPECT_TRUE(IsLocked(dir / "a"));

  b.form.DropFiles(Action::Unlock, {(dir / "a").string()});
  EXPECT_FALSE(IsLocked(dir / "a"));
  EXPECT_EQ(b.messages.shown.back().first, "File Unlocked !");
}

TEST(Form4Behaviour, APasswordOneSlipFromTheFoldersIsAskedAboutOnceBeforeTheLock) {
  ScratchDir dir;
  WriteBytes(dir / "old", RandomBytes(2000, 30));
  ASSERT_TRUE(Lock(dir / "old", "Abc123"));
  const auto before = ReadBytes(dir / "old");
  const std::string oneCharacter =
      "The password differs by one character from the password of other locked files in this folder. Lock with "
      "this password anyway?";
  const std::string caseOnly =
      "The password differs only in the case of its letters from the password of other locked files in this "
      "folder. Lock with this password anyway?";
  struct Case {
    const char* typed;
    std::string question;  // empty: none
  };
  const Case cases[] = {{"Abc124", oneCharacter}, {"Acb123", oneCharacter}, {"Abc12", oneCharacter},
                        {"aBC123", caseOnly},     {"Abc123", ""},           {"Zebra9", ""}};
  for (const auto& c : cases) {
    for (const bool yes : {false, true}) {
      WriteBytes(dir / "new", RandomBytes(2000, 31));
      Behaviour b;
      b.view.Type(c.typed);
      b.messages.answers = {yes};
      b.dialog.answers = {(dir / "new").string()};
      b.form.Command4_Click();
      const bool asked = !c.question.empty();
      EXPECT_EQ(b.messages.asked, asked ? std::vector<std::string>{c.question} : std::vector<std::string>{})
          << c.typed;
      if (asked && !yes) {
        // Back to the box, its text selected for typing again; nothing done.
        EXPECT_TRUE(b.view.text1Selected) << c.typed;
        EXPECT_FALSE(IsLocked(dir / "new")) << c.typed;
        EXPECT_TRUE(b.messages.shown.empty()) << c.typed;
      } else {
        EXPECT_TRUE(test::IsLockedFormOf(ReadBytes(dir / "new"), RandomBytes(2000, 31), c.typed)) << c.typed;
        EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"File locked !"}) << c.typed;
      }
      EXPECT_EQ(ReadBytes(dir / "old"), before);  // only its head was read
      if (!asked) break;
    }
  }

  // Unlocking asks nothing; files from outside wait on after a No.
  Behaviour b;
  b.view.Type("Abc124");
  WriteBytes(dir / "new", RandomBytes(2000, 31));
  b.form.FilesFromOutside(std::nullopt, {(dir / "new").string()});
  b.form.Command4_Click();
  EXPECT_EQ(b.messages.asked, std::vector<std::string>{oneCharacter});
  EXPECT_EQ(b.form.PendingFiles(), std::vector<std::string>{(dir / "new").string()});
  EXPECT_EQ(b.view.status, "1 file waiting: press Lock Files, Unlock Files or Unlock and Open");
  b.form.Command5_Click();
  EXPECT_EQ(b.messages.asked.size(), 1u);
  EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"'" + (dir / "new").string() + "' is not a locked file !"});
  // Sent to "Lock Files" from outside with the password typed: after a No
  // they wait for the button too.
  b.form.FilesFromOutside(Action::Lock, {(dir / "new").string()});
  EXPECT_EQ(b.messages.asked.size(), 2u);
  EXPECT_EQ(b.form.PendingFiles(), std::vector<std::string>{(dir / "new").string()});
  EXPECT_EQ(b.view.status, "1 file to lock: press Lock Files");
  EXPECT_FALSE(IsLocked(dir / "new"));
}

// A tree of files to lock as one folder: nested folders, a housekeeping
// name of ours, and contents to compare after the round trip.
TEST(Form4Behaviour, ASlowLookForATypoKeepsTheWindowAliveStopsOnStopAndIsGivenUpOn) {
  // A look that would take for ever (a slow disk): the window yields with
  // the busy pointer and Close reading "Stop"; Stop ends it and nothing is
  // locked; left alone, the lock goes ahead once the bound has passed.
  using ui::Nearness, ui::TypoGuard, ui::TypoGuardLimits;
  const TypoGuard endless = [](std::span<const fs::path>, std::string_view, TypoGuardLimits limits) {
    while (!limits.stop->load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Nearness::CaseOnly;  // what it would have said: never heard
  };
  for (const bool pressStop : {true, false}) {
    SCOPED_TRACE(pressStop ? "Stop" : "given up on");
    ScratchDir dir;
    const auto plain = RandomBytes(3000, 21);
    WriteBytes(dir / "a", plain);
    Behaviour b;
    b.form.SetTypoGuard(endless, pressStop ? std::chrono::seconds(30) : std::chrono::milliseconds(300));
    b.view.Type("pw1");
    b.dialog.answers = {(dir / "a").string()};
    bool sawStop = false;
    std::chrono::steady_clock::time_point stoppedAt;
    b.view.onYield = [&] {
      if (sawStop || b.view.enabled) return;
      sawStop = true;
      EXPECT_TRUE(b.pointer.busy);
      if (pressStop) {
        stoppedAt = std::chrono::steady_clock::now();
        b.form.Command7_Click();
      }
    };
    const auto start = std::chrono::steady_clock::now();
    b.form.Command4_Click();
    EXPECT_TRUE(sawStop);
    EXPECT_TRUE(b.messages.asked.empty());  // nothing asked: nothing was heard
    if (pressStop) {
      // Ended by the Stop, not by the bound of half a minute.
      EXPECT_LT(std::chrono::steady_clock::now() - stoppedAt, std::chrono::seconds(10));
      EXPECT_EQ(ReadBytes(dir / "a"), plain);
      EXPECT_TRUE(b.view.text1Selected);
    } else {
      EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));  // the bound, no sooner
      EXPECT_TRUE(IsLockedFormOf(ReadBytes(dir / "a"), plain, "pw1"));
    }
    EXPECT_TRUE(b.view.enabled);
    EXPECT_FALSE(b.pointer.busy);
  }
}

struct Tree {
  ScratchDir dir;
  fs::path root = dir / "tree";
  std::map<fs::path, std::vector<std::uint8_t>> contents;
  Tree() {
    fs::create_directories(root / "b" / "c");
    fs::create_directories(root / "a");
    unsigned seed = 10;
    for (const char* name : {"z.txt", "a/1.bin", "b/c/deep.txt", "b/2.txt", "b/c/empty"}) {
      contents[root / name] = RandomBytes(std::string(name).ends_with("empty") ? 0 : 200 + 97 * seed, seed);
      WriteBytes(root / name, contents[root / name]);
      ++seed;
    }
    WriteBytes(root / "b" / ".sealdoor-abcdef.tmp", RandomBytes(100, 1));  // never a user's file
  }
  [[nodiscard]] bool AllAsBefore() const {
    for (const auto& [path, bytes] : contents)
      if (ReadBytes(path) != bytes) return false;
    return true;
  }
  [[nodiscard]] bool AllLocked() const {
    for (const auto& [path, bytes] : contents)
      if (!IsLocked(path)) return false;
    return true;
  }
};

TEST(Form4Behaviour, FilesFromOutsideWithAPasswordRunAsADrop) {
  ScratchDir dir;
  WriteBytes(dir / "a", RandomBytes(3000, 4));
  WriteBytes(dir / "b", RandomBytes(3000, 5));
  Behaviour b;
  b.view.Type("pw1");
  b.form.FilesFromOutside(Action::Lock, {(dir / "a").string(), (dir / "b").string()});
  EXPECT_TRUE(IsLocked(dir / "a") && IsLocked(dir / "b"));
  EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"Files locked !"});
  EXPECT_TRUE(b.dialog.asked.empty());
  EXPECT_TRUE(b.view.enabled);
  EXPECT_EQ(b.view.status, "");
}

TEST(Form4Behaviour, FilesFromOutsideWaitForThePasswordAndTheirButton) {
  ScratchDir dir;
  const auto plain = RandomBytes(3000, 6);
  WriteBytes(dir / "c", plain);
  ASSERT_TRUE(Lock(dir / "c", "pw2"));
  WriteBytes(dir / "d", RandomBytes(100, 7));
  Behaviour b;
  b.form.FilesFromOutside(Action::Unlock, {(dir / "c").string()});
  EXPECT_EQ(b.view.status, "1 file to unlock: type the password, then press Unlock Files");
  EXPECT_TRUE(IsLocked(dir / "c"));
  b.form.Frame3_MouseMove();  // the line stays while the files wait
  EXPECT_EQ(b.view.status, "1 file to unlock: type the password, then press Unlock Files");
  b.view.Type("pw2");
  EXPECT_EQ(b.view.status, "1 file to unlock: press Unlock Files");
  // Another button goes its usual way; the files keep waiting.
  b.form.Command4_Click();
  EXPECT_EQ(b.dialog.asked.size(), 1u);
  EXPECT_EQ(b.form.PendingFiles().size(), 1u);
  b.form.Command5_Click();
  EXPECT_EQ(b.dialog.asked.size(), 1u);  // no dialog for them
  EXPECT_EQ(ReadBytes(dir / "c"), plain);
  EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"File Unlocked !"});
  EXPECT_TRUE(b.form.PendingFiles().empty());
  b.form.Command5_Click();  // taken: the button is its old self again
  EXPECT_EQ(b.dialog.asked.size(), 2u);

  // Without an action they wait for whichever button; one file may also open.
  b.view.SetText1("");
  b.form.FilesFromOutside(std::nullopt, {(dir / "d").string()});
  EXPECT_EQ(b.view.status,
            "1 file waiting: type the password, then press Lock Files, Unlock Files or Unlock and Open");
  b.form.FilesFromOutside(std::nullopt, {(dir / "c").string(), dir.Path().string()});
  EXPECT_EQ(b.view.status, "2 files and 1 folder waiting: type the password, then press Lock Files or Unlock Files");
  EXPECT_EQ(b.form.PendingFiles().size(), 3u);  // joined, in the order they came
  b.view.Type("pw3");
  b.form.Command6_Click();  // several: "Unlock and Open" says so, and they wait on
  EXPECT_EQ(b.messages.Texts().back(), "\"Unlock and Open\" takes one file at a time.");
  EXPECT_EQ(b.form.PendingFiles().size(), 3u);
}

TEST(Form4Behaviour, RequestsForDifferentButtonsEachWaitForTheirOwn) {
  ScratchDir dir;
  const auto plain = RandomBytes(3000, 11);
  for (const char* name : {"a", "b", "c", "d"}) WriteBytes(dir / name, plain);
  for (const char* name : {"b", "c", "d"}) ASSERT_TRUE(Lock(dir / name, "pw6"));
  const auto path = [&](const char* name) { return (dir / name).string(); };
  Behaviour b;
  b.form.FilesFromOutside(Action::Lock, {path("a")});
  b.form.FilesFromOutside(Action::Unlock, {path("b")});
  EXPECT_EQ(b.view.status, "1 file to lock: type the password, then press Lock Files\nAlso waiting: files to unlock");
  // The line says to type the password: no red hint beside it, even on hover.
  b.form.Command4_MouseMove();
  EXPECT_FALSE(b.view.hint);
  b.view.Type("pw6");
  b.form.Command5_Click();  // the second request, for its own button
  EXPECT_EQ(ReadBytes(dir / "b"), plain);
  EXPECT_FALSE(IsLocked(dir / "a"));
  EXPECT_EQ(b.view.status, "1 file to lock: press Lock Files");
  b.form.Command4_Click();
  EXPECT_TRUE(IsLocked(dir / "a"));
  EXPECT_TRUE(b.form.Pending().empty());
  EXPECT_TRUE(b.dialog.asked.empty());
  b.view.SetText1("");
  EXPECT_TRUE(b.view.hint);  // nothing waits: the hint rule as ever

  // Files to unlock and open wait one by one, each for its own press.
  b.form.FilesFromOutside(Action::UnlockAndOpen, {path("c")});
  b.form.FilesFromOutside(Action::UnlockAndOpen, {path("d")});
  EXPECT_EQ(b.view.status,
            "1 file to unlock and open: type the password, then press Unlock and Open\n"
            "Also waiting: a file to unlock and open");
  b.view.Type("pw6");
  b.form.Command6_Click();
  EXPECT_EQ(ReadBytes(dir / "c"), plain);
  EXPECT_TRUE(IsLocked(dir / "d"));
  EXPECT_EQ(b.view.status, "1 file to unlock and open: press Unlock and Open");
  b.form.Command6_Click();
  EXPECT_EQ(ReadBytes(dir / "d"), plain);
  EXPECT_TRUE(b.dialog.asked.empty());
}

TEST(Form4Behaviour, AnActionWithoutFilesNamesItsButton) {
  ScratchDir dir;
  WriteBytes(dir / "a", RandomBytes(3000, 12));
  Behaviour b;
  b.form.FilesFromOutside(Action::Unlock, {});
  EXPECT_EQ(b.view.status, "To unlock files, type the password, then press Unlock Files");
  EXPECT_TRUE(b.messages.shown.empty());
  b.form.Frame3_MouseMove();
  b.view.Type("pw7");
  EXPECT_EQ(b.view.status, "To unlock files, press Unlock Files");
  b.form.Command5_Click();  // the button's own way: its dialog
  EXPECT_EQ(b.dialog.asked.size(), 1u);
  EXPECT_EQ(b.view.status, "");
  EXPECT_TRUE(b.form.Pending().empty());
  // Any press answers it; files for the same button join it.
  b.form.FilesFromOutside(Action::Lock, {});
  b.form.Command5_Click();
  EXPECT_EQ(b.view.status, "");
  b.view.SetText1("");
  b.form.FilesFromOutside(Action::Lock, {});
  b.form.FilesFromOutside(Action::Lock, {(dir / "a").string()});
  EXPECT_EQ(b.view.status, "1 file to lock: type the password, then press Lock Files");
}

TEST(Form4Behaviour, FilesFromOutsideWaitWhileTheWindowIsBusy) {
  ScratchDir dir;
  WriteBytes(dir / "a", RandomBytes(3000, 8));
  WriteBytes(dir / "b", RandomBytes(3000, 9));
  Behaviour b;
  b.view.Type("pw4");
  // One arrives while a batch runs, another while its closing message is open.
  int arrivals = 0;
  b.view.onYield = [&] {
    if (arrivals == 0 && !b.view.enabled) {
      ++arrivals;
      b.form.FilesFromOutside(Action::Lock, {(dir / "b").string()});
      EXPECT_FALSE(IsLocked(dir / "b"));
    }
  };
  b.dialog.answers.push_back((dir / "a").string());
  b.form.Command4_Click();
  EXPECT_TRUE(IsLocked(dir / "a"));
  // Taken from the event loop once the handler has returned, never from
  // inside it.
  EXPECT_FALSE(IsLocked(dir / "b"));
  EXPECT_EQ(b.view.posted.size(), 1u);
  b.view.RunPosted();
  EXPECT_TRUE(IsLocked(dir / "b"));
  EXPECT_EQ(b.messages.Texts(), (std::vector<std::string>{"File locked !", "File locked !"}));
  EXPECT_EQ(arrivals, 1);
}

TEST(Form4Behaviour, FilesFromOutsideThatCannotBeReadAreSaidAndLeftOut) {
  ScratchDir dir;
  WriteBytes(dir / "a", RandomBytes(3000, 8));
  Behaviour b;
  b.view.Type("pw5");
  const std::string missing = (dir / "missing").string();
  b.form.FilesFromOutside(Action::Lock, {missing, (dir / "a").string()});
  ASSERT_EQ(b.messages.shown.size(), 2u);
  EXPECT_EQ(b.messages.shown[0].first,
            "These could not be read, and are left out:\r\n'" + missing + "': No such file or directory");
  EXPECT_EQ(b.messages.shown[0].second, MessageStyle::Exclamation);
  EXPECT_EQ(b.messages.shown[1].first, "File locked !");
  EXPECT_TRUE(IsLocked(dir / "a"));
}

TEST(Form4Behaviour, AFolderLocksAndUnlocksByteExactLeavingOutWhatIsAlreadyDone) {
  Tree t;
  WriteBytes(t.root / "b" / "already", RandomBytes(500, 3));
  ASSERT_TRUE(Lock(t.root / "b" / "already", "Other1"));
  Behaviour b;
  b.view.Type("pw6");
  std::string working;
  b.view.onYield = [&] {
    if (!b.view.enabled && b.view.status.find("Working") != std::string::npos) working = b.view.status;
  };
  b.form.DropFiles(Action::Lock, {t.root.string()});
  EXPECT_TRUE(t.AllLocked());
  EXPECT_EQ(working, "5 files to lock\n\rWorking...  Plese wait...");
  EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"Files locked !"});
  EXPECT_EQ(b.view.status, "Left as they were: 1 file already locked.");
  EXPECT_EQ(ReadBytes(t.root / "b" / ".sealdoor-abcdef.tmp"), RandomBytes(100, 1));
  EXPECT_TRUE(b.messages.asked.empty());

  b.form.FilesFromOutside(Action::Unlock, {t.root.string()});
  EXPECT_TRUE(t.AllAsBefore());
  // The file of another password is refused with the engine's message.
  EXPECT_TRUE(IsLocked(t.root / "b" / "already"));
  EXPECT_EQ(b.messages.Texts().back(), "Files Unlocked !");

  b.form.FilesFromOutside(Action::Unlock, {(t.root / "a").string()});  // nothing left to unlock
  EXPECT_EQ(b.view.status, "No file to unlock. Left as they were: 1 file not locked.");
}

TEST(Form4Behaviour, AFolderOfMoreThanAThousandFilesIsConfirmedFirst) {
  ScratchDir dir;
  for (int i = 0; i < 1001; ++i) WriteBytes(dir / ("f" + std::to_string(i)), {std::uint8_t(i)});
  Behaviour b;
  b.view.Type("pw7");
  b.form.DropFiles(Action::Lock, {dir.Path().string()});
  EXPECT_EQ(b.messages.asked, std::vector<std::string>{"There are 1,001 files to lock in the folder. Lock them all?"});
  EXPECT_FALSE(IsLocked(dir / "f0"));
  EXPECT_TRUE(b.messages.shown.empty());
  EXPECT_TRUE(b.view.enabled);
  b.messages.answers.push_back(true);
  b.form.DropFiles(Action::Lock, {dir.Path().string()});
  EXPECT_TRUE(IsLocked(dir / "f0") && IsLocked(dir / "f1000"));
  EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"Files locked !"});
}

TEST(Form4Behaviour, AStopWhileTheFoldersAreReadRunsNoBatch) {
  Tree t;
  Behaviour b;
  b.view.Type("pw8");
  b.view.onYield = [&] {
    if (b.view.status == "\n\rReading the folders..." && b.view.stopOffered) b.form.Command7_Click();
  };
  b.form.DropFiles(Action::Lock, {t.root.string()});
  EXPECT_EQ(b.messages.Texts(), std::vector<std::string>{"Stopped while the folders were read: no file was changed."});
  EXPECT_TRUE(t.AllAsBefore());
  EXPECT_TRUE(b.view.enabled);
}

}  // namespace
}  // namespace sealdoor::test
