#pragma once
// What the engine needs of the main window: the password box, the progress
// panel and its captions and bars, modal message boxes, a way to let the
// window handle its pending events and to hear that the user wants the batch
// stopped. The window implements it; so do the command-line tool and the
// tests.

#include <filesystem>
#include <string>
#include <string_view>

#include "path_text.h"

namespace sealdoor {

// Message box styles, as numbers: no icon, critical, exclamation, information.
enum class MessageStyle : int { None = 0, Critical = 16, Exclamation = 48, Information = 64 };

// Captions of the progress panel.
enum class Caption {
  Label18,  // operation: "Locking" or "Unlocking"
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
  virtual void SetCaption(Caption which, std::string_view text) = 0;
  virtual void SetBarWidth(Bar which, int twips) = 0;
  // Makes the progress panel Frame4 visible.
  virtual void ShowProgress() = 0;
  // A modal message box titled "Sealdoor" with one OK button; returns when
  // the user has closed it.
  virtual void Message(std::string_view text, MessageStyle style) = 0;
  // Lets the window run its pending events (repaint above all).
  virtual void Yield() = 0;
  // Whether the user asked for the batch to stop ("Stop", Ctrl-C). Asked
  // often while content runs, so it must cost next to nothing; it becomes
  // true during a Yield, or at any moment from a signal.
  [[nodiscard]] virtual bool StopRequested() const { return false; }
  // A path as messages show it: in single quotes.
  [[nodiscard]] virtual std::string Quoted(const std::filesystem::path& path) const {
    return "'" + PathText(path) + "'";
  }
};

}  // namespace sealdoor
