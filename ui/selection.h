#pragma once
// The file dialog's selection: one full path, or a folder followed by a NUL
// and a bare name per file.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace sealdoor::ui {

// Held as text, so a selection of many thousand files costs little more
// than their names.
struct Selection {
  std::vector<std::string> paths;        // full paths (UTF-8), in the order chosen
  std::vector<std::uint32_t> nameStart;  // where each path's bare name begins
  bool several = false;                  // the folder-NUL-names form

  [[nodiscard]] std::size_t size() const noexcept { return paths.size(); }
  [[nodiscard]] std::filesystem::path Path(std::size_t i) const;
  // The bare name, for display.
  [[nodiscard]] std::string Name(std::size_t i) const { return paths[i].substr(nameStart[i]); }
  // The entries at `places` (in order), as another selection of the same form.
  [[nodiscard]] Selection Only(const std::vector<std::size_t>& places) const;
};

// Splits a selection. Folder and name are joined with one separator (none
// more where the folder, a drive's root, ends with one); a name that is a
// full path of its own (a file of another folder) stands as it is.
[[nodiscard]] Selection SplitSelection(std::string_view selection);

// The selection form of full paths: the one path alone, or the first one's
// folder and each name after a NUL (the full path for a file of another
// folder). Text is UTF-8.
[[nodiscard]] std::string SelectionFromPaths(const std::vector<std::string>& paths);

}  // namespace sealdoor::ui
