#pragma once
#include <string>

namespace sealdoor::shell {

// The start of a command line that runs the rest in a terminal window:
// Debian's chosen terminal (x-terminal-emulator) when there is one, else the
// first well-known terminal found on the PATH. Empty when there is none.
[[nodiscard]] std::string TerminalPrefix();

}  // namespace sealdoor::shell
