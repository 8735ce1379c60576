#pragma once
// The file dialog's selection split into full paths and bare names.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sealdoor::ui {

struct Selection {
  std::vector<std::filesystem::path> paths;  // full paths, in the order chosen
  std::vector<std::string> names;  // bare names, for display
  bool several = false;            // the folder-NUL-names form
};

// One full path; or a folder, then a NUL and a bare name per file. Folder
// and name are always joined with one "/", even when the folder ends with
// one (the root folder), so nothing of either is lost.
[[nodiscard]] Selection SplitSelection(std::string_view selection);

}  // namespace sealdoor::ui
