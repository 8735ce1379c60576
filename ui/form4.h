#pragma once
// The main window's behaviour, written once for every toolkit: the hint
// rule, the padlock, Text1_Change, the button handlers, the batch
// dispatcher ShowDialog and OpenIt. It works on the window through
// Form4View, and on the system through the services below.

#include <memory>
#include <string>
#include <vector>

#include "engine/batch_counters.h"
#include "form4_port.h"
#include "form4_view.h"

namespace sealdoor::shell {
class ProgramStarter;
}

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
  Form4(Form4View& view, Form4Services services);

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
  // The title bar's close: as "Close", except while a batch runs.
  void Form_QueryUnload(bool& cancel);

  // Files dropped onto an action button (1 lock, 2 unlock, 3 unlock and
  // open): that button's batch on them, as if chosen in its dialog.
  void DropFiles(int fromwhere, const std::vector<std::string>& paths);

  // The batch dispatcher: 1 lock, 2 unlock, 3 unlock and open.
  void ShowDialog(int fromwhere);
  // Starts the program the system associates with the file.
  void OpenIt(const std::string& filesseps, bool& result);

  [[nodiscard]] BatchCounters& Counters() noexcept { return counters_; }
  // Seconds OpenIt waits after starting a program (3).
  void SetOpenPause(int seconds) noexcept { openPause_ = seconds; }
  // The engine's view of this window.
  [[nodiscard]] Form4Port& Port() noexcept { return port_; }

 private:
  // The three action buttons: a password first, then the dialog.
  void ActionClick(int dialogFlags, int fromwhere);
  void ApplyHintRule();
  // Whether the password box is empty (its text, a copy, is wiped at once).
  [[nodiscard]] bool PasswordEmpty() const;
  // Everything after the dialog: the files of `selection`, one by one.
  void RunBatch(int fromwhere, const std::string& selection);

  Form4View& view_;
  Form4Services services_;
  BatchCounters counters_;
  Form4Port port_;
  int openPause_ = 3;
  int dialogFlags_ = 0;  // open-file dialog flags set by the button handlers
};

}  // namespace sealdoor::ui
