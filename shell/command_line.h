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
// A Flatpak export's file-forwarding marker ("@@" or "@@u") before the
// path gets its closing "@@" after it.
[[nodiscard]] std::vector<std::string> CommandArguments(std::string_view prefix, std::string_view path);

}  // namespace sealdoor::shell
