#pragma once
// The values the shell services share with their callers for the whole run.

#include <string>

namespace sealdoor::Module2 {

// The system's temporary folder, ending with a separator; set at start-up.
inline std::string TempFolder;
// The folder that stands for "%SystemRoot%" in registered commands, without
// a trailing separator; set at start-up.
inline std::string WindowsFolder;
// The extension to look up, dot included; set by the caller of GetOpenCommand.
inline std::string FileExtension;
// The command prefix GetOpenCommand found; empty when none.
inline std::string OpenCommand;
// Set by GetOpenCommand when the program found runs in a terminal and no
// terminal program is installed.
inline bool MissingTerminal = false;

}  // namespace sealdoor::Module2
