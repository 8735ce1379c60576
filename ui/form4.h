#pragma once
// The main window's behaviour, written once for every toolkit: the hint
// rule, the padlock, Text1_Change, the button handlers, the batch
// dispatcher ShowDialog and OpenIt. It works on the window through
// Form4View, and on the system through the services below.

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "arrival_queue.h"
#include "engine/action.h"
#include "engine/batch_counters.h"
#include "engine/secure_wipe.h"
#include "form4_port.h"
#include "form4_view.h"
#include "selection.h"
#include "typo_guard.h"
#include "shell/program_starter.h"

namespace sealdoor::ui {

class FileDialog;
class MessageBoxes;
class Pointer;

// The platform services the window uses, so tests can stand in for them.
struct Form4Services {
  MessageBoxes& messages;
  Pointer& pointer;
  FileDialog& dialog;
  shell::ProgramStarter& starter;
};

class Form4 {
 public:
  // `windowsFolder` stands for "%SystemRoot%" in registered commands.
  Form4(Form4View& view, Form4Services services, std::string windowsFolder = {});

  // Event handlers, named after the control and the event.
  void Form_Load();
  void Command4_MouseMove();
  void Command5_MouseMove();
  void Command6_MouseMove();
  void Frame3_MouseMove();
  void Command7_Click();
  void Text1_Change();
  void Command4_Click();
  void Command5_Click();
  void Command6_Click();
  // The title bar's close: as "Close"; while a batch runs, as "Stop". True
  // when the window is to stay.
  [[nodiscard]] bool Form_QueryUnload();
  // Escape: "Stop" while a batch runs, nothing otherwise.
  void EscapePressed();

  // Files dropped onto an action button: that button's batch on them, as
  // if chosen in its dialog. A folder stands for the files below it.
  void DropFiles(Action fromwhere, const std::vector<std::string>& paths);

  // Files from outside (a file manager's menu, a second launch), for an
  // action or for none. With an action and a password typed they act as a
  // drop onto its button. Otherwise they wait as a request, the status line
  // says for what, and the next press of that button (of any, for none)
  // runs its batch on them without the dialog. Requests for different
  // buttons each wait for their own; files to unlock and open wait one by
  // one, each for its own press. An action without files only names that
  // action in the status line, until a button is pressed. Arriving while a
  // batch, a dialog or a message is open, they are taken once it is over.
  void FilesFromOutside(std::optional<Action> fromwhere, std::vector<std::string> paths);
  // The requests waiting for a button, oldest first.
  [[nodiscard]] const std::vector<Arrival>& Pending() const noexcept { return pending_; }
  // All files waiting, in the order they came.
  [[nodiscard]] std::vector<std::string> PendingFiles() const;

  // The batch dispatcher.
  void ShowDialog(Action fromwhere);
  // Starts the program the system associates with the file: the program
  // started (a null one where the system gives nothing to watch it by),
  // or nothing when none could be started (said in a message).
  std::optional<shell::Started> OpenIt(const std::string& filesseps);

  [[nodiscard]] BatchCounters& Counters() noexcept { return counters_; }
  // How long OpenIt waits after starting a program (3 seconds).
  void SetOpenPause(std::chrono::seconds pause) noexcept { openPause_ = pause; }
  // How long a program started for a file must run before its end locks
  // the file again by itself (3 seconds): one that ends sooner handed the
  // file to a program already running.
  void SetRanAWhile(std::chrono::milliseconds span) noexcept { ranAWhile_ = span; }
  // The look for a likely typo before a lock, and how long it may take
  // before the lock goes ahead without it (3 seconds): for tests.
  void SetTypoGuard(TypoGuard guard, std::chrono::milliseconds bound) {
    typoGuard_ = std::move(guard);
    typoGuardBound_ = bound;
  }
  // The engine's view of this window.
  [[nodiscard]] Form4Port& Port() noexcept { return port_; }

 private:
  // How a batch ended, for whoever started it.
  enum class BatchEnd {
    Ran,             // it ran (or was refused with a message): the files are dealt with
    BackToPassword,  // the user went back to the password box (a likely typo): nothing ran
  };

  // The three action buttons: a password first, then the dialog.
  void ActionClick(int dialogFlags, Action fromwhere);
  void ApplyHintRule();
  // Whether the password box is empty (its text, a copy, is wiped at once).
  [[nodiscard]] bool PasswordEmpty() const;
  // Everything after the dialog: the files of `selection`, one by one.
  // `note`, when given, heads the working text. `byItself`: a file opened
  // unlocked, locked again when its program ended: no question, and the
  // closing said on the status line rather than in a box.
  BatchEnd RunBatch(Action fromwhere, const std::string& selection, std::string_view note = {},
                    bool byItself = false);
  // A batch on files and folders, as a drop does it.
  BatchEnd RunOnPaths(Action fromwhere, const std::vector<std::string>& paths);
  // A batch whose paths hold a folder: its files counted, said, and past
  // a thousand confirmed first; what it leaves out said at its end.
  BatchEnd RunFolderBatch(Action fromwhere, const std::vector<std::string>& paths);
  // Before a lock batch: a password that is one slip away from that of
  // locked files beside these is asked about once. False when the user
  // goes back to the password box.
  bool PasswordLooksIntended(const Selection& files);
  void SetControls(BatchControls state);
  // Why "Unlock and Open" cannot take these paths, or nothing.
  [[nodiscard]] static std::optional<std::string> OpenRefusal(const std::vector<std::string>& paths);
  // The press of an action button takes the oldest request waiting for
  // it: true when it did (and ran its batch, or said why not).
  bool TakePending(Action fromwhere);
  // A request joins one for the same button, or waits after the others.
  void AddPending(Arrival request);
  // The status line for what waits; empty when nothing does.
  void ShowPending();
  // Files from outside that came while the window was busy, now that it
  // is not: run from the event loop, never from inside a handler.
  void TakeArrivals();

  // A file "Unlock and Open" opened: it waits for Lock Files, and while its
  // program is watched, for that program's end.
  struct OpenedFile {
    std::string path;
    shell::Started program;  // null: not watched
    std::chrono::steady_clock::time_point started;
    // The one that unlocked it, wiped when let go; held by pointer so that
    // moving the entry leaves no copy behind.
    std::unique_ptr<WipedString> password;
  };
  void KeepOpened(const std::string& path, shell::Started program);
  // Every half second while programs are watched: a file whose program
  // ran a while and ended is locked again by itself.
  void WatchOpened();
  void WatchSoon();  // the next look, while any program is watched
  void LockAgainByItself(OpenedFile& file);
  // The request of a file opened unlocked, or pending_.end().
  [[nodiscard]] std::vector<Arrival>::iterator Reopened(const std::string& path);
  // It waits for Lock Files (once, whatever waited for it before).
  void WaitToLockAgain(const std::string& path);
  // A file opened unlocked that a lock left as it was waits again.
  void WaitAgainIfUnlocked(const std::string& path);

  // Handlers that show a dialog or a message, or run a batch, count as
  // busy; when the last one ends, files that arrived meanwhile are taken,
  // from the event loop.
  class BusyScope {
   public:
    explicit BusyScope(Form4& form) : form_(form) { ++form_.busy_; }
    ~BusyScope();
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    Form4& form_;
  };

  Form4View& view_;
  Form4Services services_;
  std::string windowsFolder_;
  BatchCounters counters_;
  Form4Port port_;
  std::chrono::seconds openPause_{3};
  std::chrono::milliseconds ranAWhile_{3000};
  TypoGuard typoGuard_ = NearestStoredPassword;
  std::chrono::milliseconds typoGuardBound_{3000};
  int dialogFlags_ = 0;  // open-file dialog flags set by the button handlers
  int busy_ = 0;
  bool takePosted_ = false;  // TakeArrivals is on its way through the event loop
  BatchControls state_ = BatchControls::Idle;
  ArrivalQueue arrived_;            // came while busy
  std::vector<Arrival> pending_;  // waiting for a button, oldest first
  std::vector<OpenedFile> opened_;  // opened unlocked, in the order opened
  bool watching_ = false;           // WatchOpened is on its way
};

}  // namespace sealdoor::ui
