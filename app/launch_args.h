#pragma once
// The window program's command line: files to lock, unlock, or unlock and
// open, or files without an action that wait for a button.

#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "engine/action.h"

namespace sealdoor::app {

struct LaunchArgs {
  std::optional<Action> action;  // none: the files wait for any button
  std::vector<std::string> files;  // as given (UTF-8)
  bool help = false;
  bool version = false;
  bool addToThunar = false;  // merge our actions into Thunar's menu
};

// The arguments after the program's name. An error is one line that says
// what is wrong.
[[nodiscard]] std::expected<LaunchArgs, std::string> ParseLaunchArgs(const std::vector<std::string>& args);

// The FILEs as full paths, for a window that has a working folder of its
// own. `workingFolder` is nothing when this launch's own no longer exists
// (deleted under it): its relative names then name nothing, and only they
// are left out.
struct FullNames {
  std::vector<std::string> paths;        // full paths, in the order given
  std::vector<std::string> unreachable;  // relative names, as given
};
[[nodiscard]] FullNames MakeFullNames(const std::vector<std::string>& files,
                                      const std::optional<std::filesystem::path>& workingFolder);

// What to tell about names MakeFullNames left out: one line.
[[nodiscard]] std::string UnreachableNamesText(const std::vector<std::string>& names);

// `sealdoor --help`, in the user's language.
[[nodiscard]] std::string LaunchUsage();

inline constexpr const char* kLaunchVersion = "sealdoor 1.01\n";

}  // namespace sealdoor::app
