#pragma once
#include <optional>
#include <string>

namespace sealdoor::ui {

// Flags of the open-file dialog, as the Windows dialog takes them.
inline constexpr int kAllowMultiSelect = 0x200;

// What the dispatcher asks of the file-open dialog.
struct FileDialogOptions {
  std::string initialDir;
  std::string title;
  // "Description|patterns|Description|patterns...", patterns split by ";".
  std::string filter;
  int flags = 0;  // 3691020 (several files) or 3690508 (one)
  [[nodiscard]] bool MultiSelect() const noexcept { return (flags & kAllowMultiSelect) != 0; }
};

// The file-open dialog. Returns the selection in one text: the full path of
// one chosen file, or a folder followed, for each chosen file, by a NUL and
// its bare name (a name from another folder stands as its full path).
// nullopt when the user cancelled.
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  virtual std::optional<std::string> Show(const FileDialogOptions& options) = 0;
};

}  // namespace sealdoor::ui
