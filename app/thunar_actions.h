#pragma once
// Thunar keeps its custom actions in one file of the user's (uca.xml), with
// no folder for others to drop theirs in: ours are merged into it, each by
// its unique id, so doing it again changes nothing. The user's own actions
// are worth more than ours: a file we cannot read or make sense of is left
// exactly as it is.

#include <expected>
#include <string>
#include <string_view>

namespace sealdoor::app {

// `uca` (the file's text; empty when there is none yet) with our two
// actions in it, each replacing an earlier one of its id. `program` is the
// command that starts the window. The error says why the text is not a
// list of Thunar's actions (XML that does not parse, another root).
[[nodiscard]] std::expected<std::string, std::string> MergeThunarActions(std::string_view uca,
                                                                         std::string_view program);

// Merges them into $XDG_CONFIG_HOME/Thunar/uca.xml (~/.config/...), starting
// from the system's file when the user has none. A link (a dotfiles
// folder's) is written through to the file it names, which keeps its mode
// and owner; the new text is on the disk before it takes the old one's
// place. Returns a line for the user: what was done, or why nothing was.
struct ThunarResult {
  bool ok = false;
  std::string text;
};
[[nodiscard]] ThunarResult AddToThunar(const std::string& program);

}  // namespace sealdoor::app
