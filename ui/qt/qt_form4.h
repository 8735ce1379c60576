#pragma once
// The main window in Qt: the controls of the design's table (form4_layout.h)
// under their designer names, and the toolkit's events passed on to Form4.

#include <QPointer>
#include <QWidget>
#include <array>

#include "ui/form4_layout.h"
#include "ui/form4_view.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace sealdoor::ui {

class BarTrack;
class Form4;

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
  void After(std::chrono::milliseconds delay, std::function<void()> work) override;
  void EndProgram() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;

 private:
  void BuildControls();
  QWidget* Make(const layout::Control& c);
  [[nodiscard]] QWidget* Of(std::string_view name, int index = -1) const {
    return widgets_[layout::IndexOf(name, index)];
  }
  // The status line in the design's place, or spread over the information
  // box where its text needs the room.
  void PlaceStatus();
  // "Caps Lock is on" under the password box while it has the focus, where
  // the desktop tells (as the Windows password box does by itself).
  void UpdateCapsLockWarning();
  // Files dropped onto an action button (none for another control).
  bool TakeDrop(QObject* watched, QEvent* event);

  Form4* form_ = nullptr;
  std::array<QWidget*, layout::kControls.size()> widgets_{};
  QWidget *Frame3 = nullptr, *Frame4 = nullptr;
  QLabel *Label12 = nullptr, *Label13 = nullptr, *Label16 = nullptr;
  QLineEdit* Text1_ = nullptr;
  QPushButton *Command4 = nullptr, *Command5 = nullptr, *Command6 = nullptr, *Command7 = nullptr;
  std::array<BarTrack*, 2> tracks_{};
  std::array<QWidget*, 2> fills_{};
  QLabel* capsLockWarning_ = nullptr;
  QPointer<QWidget> lastFocus_;  // the control that had the focus when a batch began
};

}  // namespace sealdoor::ui
