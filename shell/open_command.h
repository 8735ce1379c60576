#pragma once
// The command registered for opening a file of some extension, cut down to
// the part before its file argument ("%1"), so a path can follow it.

#include <optional>
#include <string>
#include <string_view>

namespace sealdoor::shell {

// The first of the four cutting rules that applies; empty when none does.
[[nodiscard]] std::string CutCommand(std::string_view command);

// The desktop's association store, through GIO: the MIME type the shared
// MIME database gives for a file name with this extension (empty when the
// name says nothing certain, and for text with a "/" in it: the text after a
// dot in a folder's name is no extension).
[[nodiscard]] std::string ClassForExtension(const std::string& extension);

// The command the association store gives for opening a file of a class.
struct ClassCommand {
  std::string line;  // empty when no program is known
  // Its program runs in a terminal, and no terminal program is installed.
  bool terminalMissing = false;
};

// The open command of the default application for a MIME type, as GIO
// resolves it, with its file field code written "%1" and other field codes
// expanded as a launcher would; run in a terminal when the application
// asks for one.
[[nodiscard]] ClassCommand CommandForClass(const std::string& mimeType);

// What opens a file of some extension: the registered command cut before
// its file argument, so a path can follow it.
struct OpenCommand {
  std::string prefix;
  bool terminalMissing = false;  // as in ClassCommand
};

// The command for `extension` (dot included), when one is registered and a
// cutting rule applies to it.
[[nodiscard]] std::optional<OpenCommand> GetOpenCommand(const std::string& extension);

}  // namespace sealdoor::shell
