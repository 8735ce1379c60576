#pragma once
// Thunar keeps its custom actions in one file of the user's (uca.xml), with
// no folder for others to drop theirs in: ours are merged into it, each by
// its unique id, so doing it again changes nothing.

#include <string>
#include <string_view>

namespace sealdoor::app {

// `uca` (the file's text; empty when there is none yet) with our two
// actions in it, each replacing an earlier one of its id. `program` is the
// command that starts the window.
[[nodiscard]] std::string MergeThunarActions(std::string_view uca, std::string_view program);

// Merges them into $XDG_CONFIG_HOME/Thunar/uca.xml (~/.config/...), starting
// from the system's file when the user has none. Returns a line for the
// user: what was done, or why nothing was.
struct ThunarResult {
  bool ok = false;
  std::string text;
};
[[nodiscard]] ThunarResult AddToThunar(const std::string& program);

}  // namespace sealdoor::app
