#pragma once
// `--recursive`: folders on the command line stand for the files below them.

#include <optional>
#include <string>
#include <vector>

namespace sealdoor::cli {

struct FolderFiles {
  std::vector<std::string> files;  // what the command works on, in order
  std::string leftOut;             // one line of what the folders' walk left out, or empty
  bool unreadable = false;         // a folder could not be read (said already)
};

// The files of `args` with every folder replaced by its files. Before a
// lock or unlock the count is said (unless quiet), and more than a thousand
// files are confirmed on the terminal unless `yes`. nullopt, after saying
// why, when there is to be no run; `status` then holds the exit status.
[[nodiscard]] std::optional<FolderFiles> ExpandForCommand(const std::vector<std::string>& args,
                                                          const std::string& command, bool quiet, bool yes,
                                                          int& status);

}  // namespace sealdoor::cli
