#pragma once
// `--recursive`: folders on the command line stand for the files below them.

#include <expected>
#include <optional>
#include <string>
#include <vector>

#include "engine/action.h"
#include "engine/file_identity.h"

namespace sealdoor::cli {

struct FolderFiles {
  std::vector<std::string> files;  // what the command works on, in order
  std::vector<std::optional<FileFacts>> facts;  // beside each, what the walk saw of it
  std::string leftOut;             // one line of what the folders' walk left out, or empty
  bool unreadable = false;         // a folder could not be read (said already)
};

// The files of `args` with every folder replaced by its files, for an
// action (none: to tell their status). Before a lock or unlock the count is
// said (unless quiet), and more than a thousand files are confirmed on the
// terminal unless `yes`. When there is to be no run: the exit status to end
// with, after saying why.
// With `oneFileSystem`, folders on other file systems are not entered. Ctrl-C
// ends the walk (exit status 130).
[[nodiscard]] std::expected<FolderFiles, int> ExpandForCommand(const std::vector<std::string>& args,
                                                               std::optional<Action> action, bool quiet, bool yes,
                                                               bool oneFileSystem);

}  // namespace sealdoor::cli
