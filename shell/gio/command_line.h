#pragma once
// Turning a command prefix and a path into a program and its arguments,
// without a shell: the prefix is split by the quoting rules of desktop
// entries, and the path is always one argument, whatever it holds.

#include <string>
#include <string_view>
#include <vector>

namespace sealdoor::shell {

// The arguments of `prefix` followed by `path`. The path continues the
// prefix's last argument when the prefix ends inside it (an open double
// quote, or no space before the path), and is a new argument otherwise.
// Where the prefix ends inside a double-quoted argument, the path goes into
// it quoted for a shell (as GLib's own launcher expands a field code there).
// A Flatpak export's file-forwarding marker ("@@" or "@@u") before the
// path gets its closing "@@" after it.
// `text` in single quotes for a POSIX shell ('it'\''s').
[[nodiscard]] std::string ShellQuote(std::string_view text);

[[nodiscard]] std::vector<std::string> CommandArguments(std::string_view prefix, std::string_view path);

}  // namespace sealdoor::shell
