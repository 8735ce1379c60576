#pragma once
// The main window: password box, the three actions, the information box with
// its padlock and status line, and the progress panel that the engine fills.

#include <QFrame>
#include <QWidget>
#include <array>
#include <memory>
#include <string>

#include "engine/batch_counters.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sealdoor::shell {
class ProgramStarter;
}

namespace sealdoor::ui {

class FileDialog;
class Form4Port;
class MessageBoxes;
class PadlockPicture;
class Pointer;

// The platform services the window uses, so tests can stand in for them.
struct Form4Services {
  MessageBoxes& messages;
  Pointer& pointer;
  FileDialog& dialog;
  shell::ProgramStarter& starter;
};

class Form4 final : public QWidget {
 public:
  explicit Form4(Form4Services services, QWidget* parent = nullptr);
  ~Form4() override;

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

  // The batch dispatcher: 1 lock, 2 unlock, 3 unlock and open.
  void ShowDialog(int fromwhere);
  // Starts the program the desktop associates with the file.
  void OpenIt(const std::string& filesseps, bool& result);

  [[nodiscard]] BatchCounters& Counters() noexcept { return counters_; }
  // Seconds OpenIt waits after starting a program (3).
  void SetOpenPause(int seconds) noexcept { openPause_ = seconds; }

  // The engine's view of this window.
  [[nodiscard]] Form4Port& Port() noexcept { return *port_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  friend class Form4Port;
  void BuildControls();
  // The three action buttons: a password first, then the dialog.
  void ActionClick(int dialogFlags, int fromwhere);
  void ApplyHintRule();
  void ShowPadlock(bool open);
  void Yield();

  Form4Services services_;
  BatchCounters counters_;
  std::unique_ptr<Form4Port> port_;
  int openPause_ = 3;
  int dialogFlags_ = 0;  // open-file dialog flags set by the button handlers

  QFrame* Frame3 = nullptr;
  QLabel *Label8 = nullptr, *Label9 = nullptr, *Label10 = nullptr, *Label11 = nullptr,
         *Label12 = nullptr, *Label13 = nullptr, *Label2 = nullptr;
  std::array<PadlockPicture*, 2> Image1{};
  QLineEdit* Text1 = nullptr;
  QPushButton *Command4 = nullptr, *Command5 = nullptr, *Command6 = nullptr, *Command7 = nullptr;
  QFrame* Frame4 = nullptr;
  QLabel *Label18 = nullptr, *Label16 = nullptr, *Label19 = nullptr, *Label21 = nullptr,
         *Label20 = nullptr, *Label22 = nullptr;
  std::array<QLabel*, 2> Label15{}, Label17{};
};

}  // namespace sealdoor::ui
