#pragma once
// The file dialog's selection: one full path, or a folder followed by a NUL
// and a bare name per file.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sealdoor::ui {

struct Selection {
  std::vector<std::filesystem::path> paths;  // full paths, in the order chosen
  std::vector<std::string> names;            // bare names, for display
  bool several = false;                      // the folder-NUL-names form
};

// Splits a selection. Folder and name are always joined with one separator,
// even when the folder ends with one (a drive's root), so nothing of either
// is lost; a name that is a full path of its own (a file of another folder)
// stands as it is.
[[nodiscard]] Selection SplitSelection(std::string_view selection);

// The selection form of full paths: the one path alone, or the first one's
// folder and each name after a NUL (the full path for a file of another
// folder). Text is UTF-8.
[[nodiscard]] std::string SelectionFromPaths(const std::vector<std::string>& paths);

}  // namespace sealdoor::ui
