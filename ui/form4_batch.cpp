// The batch itself: the files of a selection, a drop or files from
// outside, one after the other, with the progress panel and the closing
// message; folders first read and counted; a likely typo asked about.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <filesystem>
#include <set>

#include "engine/commit_group.h"
#include "engine/folder_walk.h"
#include "engine/form1.h"
#include "engine/path_text.h"
#include "engine/secure_wipe.h"
#include "form4.h"
#include "message_boxes.h"
#include "pointer.h"
#include "text/action_texts.h"
#include "text/tr.h"
#include "text/window_texts.h"
#include "typo_guard.h"

namespace sealdoor::ui {
namespace {

// A folder of more files than this is confirmed before its batch.
constexpr std::size_t kConfirmAbove = 1000;
// Folders whose locked files a lock batch's password is held against.
constexpr std::size_t kFoldersLookedAt = 64;

}  // namespace

Form4::BatchEnd Form4::RunOnPaths(Action fromwhere, const std::vector<std::string>& paths) {
  if (fromwhere == Action::UnlockAndOpen) {
    if (auto refusal = OpenRefusal(paths)) {
      services_.messages.Show(*refusal, MessageStyle::Exclamation);
      return BatchEnd::Ran;
    }
    return RunBatch(fromwhere, paths.front());
  }
  if (std::none_of(paths.begin(), paths.end(), IsFolder)) return RunBatch(fromwhere, SelectionFromPaths(paths));
  return RunFolderBatch(fromwhere, paths);
}

Form4::BatchEnd Form4::RunFolderBatch(Action fromwhere, const std::vector<std::string>& paths) {
  SetControls(BatchControls::Running);
  services_.pointer.SetBusy();
  view_.SetStatus(text::Tr(text::kReadingFolders), kBlack);
  view_.Yield();
  WalkOptions walk;
  walk.wantLocked = Locks(fromwhere);
  // The window paints and hears Stop every few hundred entries: a stop
  // ends the walk where it is, and no batch runs.
  walk.goOn = [this] {
    view_.Yield();
    return !port_.StopRequested();
  };
  const FolderBatch batch = ExpandFolders(paths, walk);
  const bool stopped = batch.stopped || port_.StopRequested();
  services_.pointer.SetNormal();
  view_.SetStatus("", kBlack);
  SetControls(BatchControls::Idle);
  if (!batch.unreadable.empty()) {
    std::vector<std::string> lines;
    for (const auto& u : batch.unreadable) lines.push_back(text::UnreadableLine(u.path, u.error.message()));
    services_.messages.Show(text::LeftOutUnreadable(lines), MessageStyle::Exclamation);
  }
  if (stopped) {
    services_.messages.Show(text::Tr(text::kStoppedReading), MessageStyle::Information);
    return BatchEnd::Ran;
  }
  const std::string leftOut = text::LeftOut(batch, fromwhere);
  if (batch.files.empty()) {
    view_.SetStatus(text::NothingToDo(fromwhere, leftOut), kBlack);
    return BatchEnd::Ran;
  }
  if (batch.files.size() > kConfirmAbove &&
      !services_.messages.Ask(text::ConfirmMany(fromwhere, batch.files.size(), paths.size())))
    return BatchEnd::Ran;
  if (RunBatch(fromwhere, SelectionFromPaths(batch.files), text::ToDo(fromwhere, batch.files.size())) ==
      BatchEnd::BackToPassword)
    return BatchEnd::BackToPassword;
  if (!leftOut.empty()) view_.SetStatus(leftOut, kBlack);
  return BatchEnd::Ran;
}

bool Form4::PasswordLooksIntended(const Selection& files) {
  // The batch's folders in the order met; no more than the guard can read.
  std::vector<std::filesystem::path> folders;
  std::set<std::filesystem::path> seen;
  for (std::size_t i = 0; i < files.size() && folders.size() < kFoldersLookedAt; ++i) {
    auto folder = files.Path(i).parent_path();
    if (seen.insert(folder).second) folders.push_back(std::move(folder));
  }
  // Read off the window's thread: on a slow disk the window stays alive,
  // Stop ends the look (and the lock with it), and after a while the lock
  // goes ahead without it, the guard being a courtesy, not a check. A look
  // given up on ends at its next entry, and takes its state with it.
  struct Look {
    std::vector<std::filesystem::path> folders;
    std::string typed;
    std::atomic<bool> stop{false};
    std::atomic<bool> done{false};
    Nearness nearness = Nearness::Far;
    ~Look() { SecureWipe(typed); }
  };
  auto look = std::make_shared<Look>();
  look->folders = std::move(folders);
  look->typed = WipedString(view_.Text1()).Get();
  std::thread([look, guard = typoGuard_] {
    TypoGuardLimits limits;
    limits.stop = &look->stop;
    look->nearness = guard(look->folders, look->typed, limits);
    look->done.store(true, std::memory_order_release);
  }).detach();
  // A look that takes longer than a blink shows as work: the busy pointer,
  // Close reading "Stop".
  const auto start = std::chrono::steady_clock::now();
  const auto giveUp = start + typoGuardBound_;
  bool shown = false, stopped = false;
  while (!look->done.load(std::memory_order_acquire)) {
    const auto now = std::chrono::steady_clock::now();
    if (now >= giveUp) break;
    if (!shown && now - start >= std::chrono::milliseconds(100)) {
      shown = true;
      SetControls(BatchControls::Running);
      services_.pointer.SetBusy();
    }
    if (shown) {
      view_.Yield();
      if ((stopped = port_.StopRequested())) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  look->stop = true;
  if (shown) {
    services_.pointer.SetNormal();
    SetControls(BatchControls::Idle);
  }
  if (stopped) {
    view_.SelectText1();
    return false;
  }
  const Nearness nearness = look->done.load(std::memory_order_acquire) ? look->nearness : Nearness::Far;
  if (nearness != Nearness::CaseOnly && nearness != Nearness::OneCharacter) return true;
  // Never the stored password itself, nor where it differs.
  if (services_.messages.Ask(text::NearPassword(nearness == Nearness::CaseOnly, look->folders.size()))) return true;
  view_.SelectText1();
  return false;
}

Form4::BatchEnd Form4::RunBatch(Action fromwhere, const std::string& selection, std::string_view note,
                                bool byItself) {
  const BusyScope busy(*this);
  Selection files = SplitSelection(selection);
  // Each file once, however often it was named (a folder and a file in
  // it, the same file from two launches).
  BatchFiles batch = PrepareBatch(files.paths);
  if (batch.paths.size() != files.size()) files = files.Only(batch.kept);
  if (fromwhere == Action::Lock && !byItself && !PasswordLooksIntended(files)) return BatchEnd::BackToPassword;
  // Batch start.
  view_.Yield();
  SetControls(BatchControls::Running);
  services_.pointer.SetBusy();
  view_.SetStatus(std::string(note) + text::Tr(text::kWorking), kRed);
  view_.Yield();
  view_.SetBarWidth(Bar::File, 0);
  view_.SetBarWidth(Bar::Overall, 0);
  view_.SetCaption(Caption::Label21, "");
  view_.SetCaption(Caption::Label22, "");

  counters_ = batch.counters;

  // Dispatch: a fresh engine object for every call, gone after it. The new
  // versions are committed in groups, each made durable at once. A stop
  // leaves the file at hand as it was; what is complete and waits in the
  // group is finished work, and is committed with the rest.
  bool result = false;
  bool stopped = false;
  CommitGroup group(port_);
  port_.Restart(files.size() > 1);
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (files.several) port_.Yield();
    if ((stopped = port_.StopRequested())) break;
    {
      Form1 engine(port_, counters_, &group);
      result = Locks(fromwhere) ? engine.LockIt(files.Path(i), files.Name(i))
                                : engine.UnlockIt(files.Path(i), files.Name(i));
      stopped = engine.Stopped();
    }
    if (stopped) break;
    if (files.several) port_.Yield();
  }
  if (!group.Flush()) result = false;
  SetControls(BatchControls::Closing);
  // Beyond the first message, what the batch had to say comes once, as the
  // panel closes, before the closing words.
  const auto sumUp = [&] {
    if (auto summary = port_.TakeSummary(fromwhere, group.Placed(), files.size()))
      services_.messages.ShowSummary(summary->heading, summary->list, MessageStyle::Exclamation);
  };

  if (stopped) {
    services_.pointer.SetNormal();
    view_.SetStatus("", kBlack);
    view_.SetProgressVisible(false);
    sumUp();
    services_.messages.Show(text::Stopped(fromwhere, group.Placed(), files.size()), MessageStyle::Information);
    SetControls(BatchControls::Idle);
    return BatchEnd::Ran;
  }

  if (fromwhere == Action::UnlockAndOpen) {
    services_.pointer.SetNormal();
    view_.SetStatus("", kBlack);
    view_.Yield();
    view_.SetProgressVisible(false);
    sumUp();
    if (result) {
      // Open unlocked: it waits to be locked again, by the button, or by
      // itself once its program ends.
      if (auto started = OpenIt(selection)) KeepOpened(PathText(files.Path(0)), std::move(*started));
    }
    SetControls(BatchControls::Idle);
    return BatchEnd::Ran;
  }

  // Closing.
  view_.SetCaption(Caption::Label22, "100%");
  view_.SetBarWidth(Bar::Overall, kFullBarTwips);
  services_.pointer.SetNormal();
  view_.SetStatus("", kBlack);
  const text::ActionTexts& words = text::TextsOf(fromwhere);
  view_.SetProgressVisible(false);
  sumUp();
  if (result && byItself) {
    view_.SetStatus(text::LockedAgain(files.Name(0)), kBlack);
  } else if (result) {
    services_.messages.Show(text::Tr(files.several ? words.closingMany : words.closingOne),
                            MessageStyle::Information);
  }
  SetControls(BatchControls::Idle);
  return BatchEnd::Ran;
}

}  // namespace sealdoor::ui
