#pragma once
// The user's editor, run on one file and waited for: `sealdoor-cli edit`.

#include <filesystem>
#include <string>

namespace sealdoor::cli {

struct EditorEnd {
  bool started = false;
  int status = 0;       // its exit status; 128 + the signal that ended it
  std::string command;  // what was run, as the user named it
  std::string why;      // why it could not be started
};

// $VISUAL, else $EDITOR, else the system's own (Debian's sensible-editor;
// Notepad on Windows), with `file` as its last argument. The editor shares
// the terminal; this waits for it to end.
[[nodiscard]] EditorEnd RunEditor(const std::filesystem::path& file);

}  // namespace sealdoor::cli
