#pragma once
#include <string>
#include <vector>

#include "engine/win32/windows_h.h"
#include "ui/file_dialog.h"
// After windows.h, which it needs.
#include <commdlg.h>
#include <cderr.h>

namespace sealdoor::ui {

class MessageBoxes;

// The system's open dialog, GetOpenFileNameW, set up as the dispatcher
// asks: its flags as given, the filter list, the title, the initial folder.
class Win32FileDialog final : public FileDialog {
 public:
  explicit Win32FileDialog(MessageBoxes& messages) : messages_(messages) {}
  void SetOwner(HWND owner) { owner_ = owner; }
  std::optional<std::string> Show(const FileDialogOptions& options) override;

 private:
  MessageBoxes& messages_;
  HWND owner_ = nullptr;
};

// What GetOpenFileNameW is given for `options`: the structure and the
// texts it points into (the filter with NULs for "|", the title, the folder,
// room for thousands of names). Tests look at it without showing a dialog.
struct OpenFileRequest {
  std::wstring filter, title, initialDir;
  std::vector<wchar_t> names;  // the selection comes back here
  OPENFILENAMEW ofn{};
};
void Prepare(OpenFileRequest& request, const FileDialogOptions& options, HWND owner);

// The dialog's answer in the selection form the dispatcher splits: one full
// path, or the folder and a NUL before each name (UTF-8).
[[nodiscard]] std::string SelectionText(const std::vector<wchar_t>& names);

}  // namespace sealdoor::ui
