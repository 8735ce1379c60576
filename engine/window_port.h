#pragma once
// What the engine needs of the main window: the password box, the progress
// panel and its captions and bars, a way to tell the user about a file, to
// let the window handle its pending events and to hear that the user wants
// the batch stopped. The window implements it; so do the command-line tool
// and the tests.

#include <string>
#include <string_view>

#include "action.h"
#include "notice.h"

namespace sealdoor {

// Captions of the progress panel.
enum class Caption {
  Label18,  // operation: the action's word
  Label16,  // bare name of the file
  Label21,  // file percentage, "N%"
  Label22,  // overall percentage, "N%"
};

// The two bars (element 1 of Label15 and of Label17), 0 to 2052 twips wide.
enum class Bar { File, Overall };

inline constexpr int kFullBarTwips = 2052;

class WindowPort {
 public:
  virtual ~WindowPort() = default;

  // The text of the password box as it stands now.
  [[nodiscard]] virtual std::string Password() const = 0;
  // The file the panel shows: the operation's word in Label18, the bare
  // name in Label16.
  virtual void ShowFile(Action action, std::string_view nopath) = 0;
  // The percentages, Label21 and Label22 ("N%").
  virtual void SetCaption(Caption which, std::string_view text) = 0;
  virtual void SetBarWidth(Bar which, int twips) = 0;
  // Makes the progress panel Frame4 visible.
  virtual void ShowProgress() = 0;
  // Tells the user about a file: in the window a modal message box titled
  // "Sealdoor" with one OK button, which returns when the user has closed it.
  virtual void Report(const Notice& notice) = 0;
  // Lets the window run its pending events (repaint above all).
  virtual void Yield() = 0;
  // Whether the user asked for the batch to stop ("Stop", Ctrl-C). Asked
  // often while content runs, so it must cost next to nothing; it becomes
  // true during a Yield, or at any moment from a signal.
  [[nodiscard]] virtual bool StopRequested() const { return false; }
};

}  // namespace sealdoor
