#pragma once
#include <QString>
#include <optional>
#include <string>

namespace sealdoor::ui {

// What the dispatcher asks of the file-open dialog.
struct FileDialogOptions {
  QString initialDir;
  QString title;
  // "Description|patterns|Description|patterns...", patterns split by ";".
  QString filter;
  bool multiSelect = false;
};

// The file-open dialog. Returns the selection in one text: the full path of
// one chosen file, or the folder followed, for each chosen file, by a NUL
// and its bare name. nullopt when the user cancelled.
class FileDialog {
 public:
  virtual ~FileDialog() = default;
  virtual std::optional<std::string> Show(const FileDialogOptions& options) = 0;
};

}  // namespace sealdoor::ui
