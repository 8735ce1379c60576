#include "win32_file_dialog.h"

#include "engine/win32/wide.h"
#include "text/tr.h"
#include "ui/message_boxes.h"

namespace sealdoor::ui {
namespace {

// Room for thousands of names: the dialog's own default holds few, and a
// selection that does not fit would be lost.
constexpr std::size_t kNameRoom = 1 << 20;

}  // namespace

void Prepare(OpenFileRequest& r, const FileDialogOptions& options, HWND owner) {
  r.filter = win32::Widen(options.filter);
  for (auto& c : r.filter)
    if (c == L'|') c = L'\0';
  r.filter.append(2, L'\0');
  r.title = win32::Widen(options.title);
  r.initialDir = win32::Widen(options.initialDir);
  r.names.assign(kNameRoom, L'\0');
  r.ofn = OPENFILENAMEW{};
  r.ofn.lStructSize = sizeof r.ofn;
  r.ofn.hwndOwner = owner;
  r.ofn.lpstrFilter = r.filter.c_str();
  r.ofn.nFilterIndex = 1;
  r.ofn.lpstrFile = r.names.data();
  r.ofn.nMaxFile = static_cast<DWORD>(r.names.size());
  r.ofn.lpstrInitialDir = r.initialDir.c_str();
  r.ofn.lpstrTitle = r.title.c_str();
  r.ofn.Flags = static_cast<DWORD>(options.flags);
}

std::string SelectionText(const std::vector<wchar_t>& names) {
  // Explorer style: "folder\0name\0name\0\0", or one full path.
  std::string text;
  std::size_t i = 0;
  bool first = true;
  while (i < names.size() && names[i] != L'\0') {
    const std::wstring part(names.data() + i);
    if (!first) text += '\0';
    text += win32::Narrow(part);
    first = false;
    i += part.size() + 1;
  }
  return text;
}

std::optional<std::string> Win32FileDialog::Show(const FileDialogOptions& options) {
  OpenFileRequest request;
  Prepare(request, options, owner_);
  if (::GetOpenFileNameW(&request.ofn)) return SelectionText(request.names);
  if (::CommDlgExtendedError() == FNERR_BUFFERTOOSMALL)
    messages_.Show(text::Tr("So many files were chosen that their names do not fit. Choose fewer files at a time."),
                   MessageStyle::Exclamation);
  return std::nullopt;
}

}  // namespace sealdoor::ui
