#pragma once
// The command registered for opening a file of some extension, cut down to
// the part before its file argument ("%1"), so a path can follow it.

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

// The open command of the default application for a MIME type, as GIO
// resolves it, with its file field code written "%1" and other field codes
// expanded as a launcher would; run in a terminal when the application
// asks for one. Empty when no application is known.
[[nodiscard]] std::string CommandForClass(const std::string& mimeType);

// Reads Module2::FileExtension; sets Module2::OpenCommand when a command is
// found and a rule cuts it, and Module2::MissingTerminal when its program
// needs a terminal that is not there.
void GetOpenCommand();

}  // namespace sealdoor::shell
