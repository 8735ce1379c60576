#pragma once
// The main window's controls as its behaviour (Form4) sees them, whatever
// the toolkit: the Qt window and the native Windows window each implement
// this, and so do the tests that need no toolkit at all.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "engine/window_port.h"

namespace sealdoor::ui {

struct Rgb {
  int r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kRed{255, 0, 0};

// What the controls take while a batch holds the window. The window itself
// stays enabled throughout, so its title bar's close always reaches Form4.
enum class BatchControls {
  Idle,     // as at start: the password box, the three buttons, "Close"
  Running,  // the box and the action buttons disabled; Command7 reads "Stop"
  Closing,  // the work is over: every control disabled, Command7 reads "Close"
};

class Form4View {
 public:
  virtual ~Form4View() = default;

  virtual void SetWindowCaption(std::string_view text) = 0;

  // The password box Text1.
  [[nodiscard]] virtual std::string Text1() const = 0;
  virtual void SetText1(std::string_view text) = 0;  // runs Text1_Change, as any change does
  virtual void FocusText1() = 0;
  // The focus in the box with all its text selected, to be typed again.
  virtual void SelectText1() = 0;

  // The hint Label13 ("Enter password first !").
  virtual void SetHintVisible(bool visible) = 0;
  // The padlock Image1: element 1 (open) or element 0 (closed) showing.
  virtual void ShowPadlock(bool open) = 0;

  // The status line Label12.
  [[nodiscard]] virtual std::string StatusText() const = 0;
  virtual void SetStatus(std::string_view text, Rgb colour) = 0;

  // The progress panel Frame4 and what it holds.
  virtual void SetProgressVisible(bool visible) = 0;
  virtual void SetCaption(Caption which, std::string_view text) = 0;
  virtual void SetBarWidth(Bar which, int twips) = 0;

  // The controls' state through a batch; Idle again gives the focus back
  // to the control that had it.
  virtual void SetBatchControls(BatchControls state) = 0;

  // Lets the window run its pending events (repaint above all).
  virtual void Yield() = 0;
  // Runs `work` from the event loop, once the handler at hand has returned.
  virtual void Post(std::function<void()> work) = 0;
  // Runs `work` from the event loop once `delay` has passed.
  virtual void After(std::chrono::milliseconds delay, std::function<void()> work) = 0;
  // Ends the program at once.
  virtual void EndProgram() = 0;
};

}  // namespace sealdoor::ui
