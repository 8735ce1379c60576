#pragma once
// The main window in Qt: the controls under their designer names, their
// places and colours, and the toolkit's events passed on to Form4.

#include <QFrame>
#include <QPointer>
#include <QWidget>
#include <array>

#include "ui/form4_view.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sealdoor::ui {

class Form4;
class PadlockPicture;

class QtForm4 final : public QWidget, public Form4View {
 public:
  explicit QtForm4(QWidget* parent = nullptr);
  ~QtForm4() override;

  // The behaviour the events go to; set once, before the window is shown.
  void Attach(Form4& form) noexcept { form_ = &form; }

  // Form4View
  void SetWindowCaption(std::string_view text) override;
  std::string Text1() const override;
  void SetText1(std::string_view text) override;
  void FocusText1() override;
  void SelectText1() override;
  void SetHintVisible(bool visible) override;
  void ShowPadlock(bool open) override;
  std::string StatusText() const override;
  void SetStatus(std::string_view text, Rgb colour) override;
  void SetProgressVisible(bool visible) override;
  void SetCaption(Caption which, std::string_view text) override;
  void SetBarWidth(Bar which, int twips) override;
  void SetBatchControls(BatchControls state) override;
  void Yield() override;
  void Post(std::function<void()> work) override;
  void EndProgram() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void BuildControls();
  // "Caps Lock is on" under the password box while it has the focus, where
  // the desktop tells (as the Windows password box does by itself).
  void UpdateCapsLockWarning();

  Form4* form_ = nullptr;
  QFrame* Frame3 = nullptr;
  QLabel *Label8 = nullptr, *Label9 = nullptr, *Label10 = nullptr, *Label11 = nullptr,
         *Label12 = nullptr, *Label13 = nullptr, *Label2 = nullptr;
  std::array<PadlockPicture*, 2> Image1{};
  QLineEdit* Text1_ = nullptr;
  QPushButton *Command4 = nullptr, *Command5 = nullptr, *Command6 = nullptr, *Command7 = nullptr;
  QFrame* Frame4 = nullptr;
  QLabel *Label18 = nullptr, *Label16 = nullptr, *Label19 = nullptr, *Label21 = nullptr,
         *Label20 = nullptr, *Label22 = nullptr;
  // Element 0 of each bar is its track (a progress bar to screen readers), element 1 its fill.
  std::array<QWidget*, 2> Label15{}, Label17{};
  QLabel* capsLockWarning_ = nullptr;
  QPointer<QWidget> lastFocus_;  // the control that had the focus when a batch began
};

}  // namespace sealdoor::ui
