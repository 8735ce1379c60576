#pragma once
// Turning a command prefix and a path into a program and its arguments,
// without a shell: the prefix is split by the quoting rules of desktop
// entries, and the path is always one argument, whatever it holds.

#include <expected>
#include <string>
#include <string_view>
#include <vector>

#include "text/tr.h"

namespace sealdoor::shell {

// What is said of a command that cannot be started safely for a file.
inline constexpr const char* kUnsafeCommand =
    text::N("its program's command line cannot be started safely for this file");

// The arguments of `prefix` followed by `path`. The path continues the
// prefix's last argument when the prefix ends inside it (an open double
// quote, or no space before the path), and is a new argument otherwise.
// A Flatpak export's file-forwarding marker ("@@" or "@@u") before the
// path gets its closing "@@" after it.
// Where the prefix ends inside a double-quoted argument, that argument is
// most likely a script for a shell (`sh -c "cat \"%f\""`), which desktop
// entries may not do, and no quoting of ours is safe in every nesting of
// quotes a script can have: such a command is refused, unless the path
// holds nothing any shell reads specially (letters, digits, "._-/" and
// spaces), when it goes in as it is.
[[nodiscard]] std::expected<std::vector<std::string>, std::string> CommandArguments(std::string_view prefix,
                                                                                     std::string_view path);

}  // namespace sealdoor::shell
