#include "win32_message_boxes.h"

#include <cstdint>
#include <string>
#include <vector>

#include "engine/win32/wide.h"

namespace sealdoor::ui {

namespace {

UINT Modality(HWND owner) { return owner ? MB_APPLMODAL : MB_TASKMODAL; }

// A dialog template built in memory (no resource to keep in step with the
// code): the words of the format are Windows' own DLGTEMPLATE and
// DLGITEMTEMPLATE, each item on a DWORD boundary.
class DialogTemplate {
 public:
  DialogTemplate(DWORD style, short cx, short cy, const wchar_t* title, WORD items) {
    Dword(style);
    Dword(0);
    Word(items);
    Word(0), Word(0), Word(static_cast<WORD>(cx)), Word(static_cast<WORD>(cy));
    Word(0);  // no menu
    Word(0);  // the dialog class
    Text(title);
    Word(8);  // DS_SETFONT: the point size, then the face
    Text(L"MS Shell Dlg");
  }
  // classAtom: 0x0080 button, 0x0081 edit, 0x0082 static.
  void Item(DWORD style, short x, short y, short cx, short cy, WORD id, WORD classAtom) {
    while (words_.size() % 2 != 0) words_.push_back(0);
    Dword(style | WS_CHILD | WS_VISIBLE);
    Dword(0);
    Word(static_cast<WORD>(x)), Word(static_cast<WORD>(y));
    Word(static_cast<WORD>(cx)), Word(static_cast<WORD>(cy));
    Word(id);
    Word(0xFFFF), Word(classAtom);
    Word(0);  // no text: set once the dialog exists
    Word(0);  // no creation data
  }
  const DLGTEMPLATE* Get() {
    while (words_.size() % 2 != 0) words_.push_back(0);
    return reinterpret_cast<const DLGTEMPLATE*>(words_.data());
  }

 private:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(static_cast<WORD>(d & 0xFFFF));
    Word(static_cast<WORD>(d >> 16));
  }
  void Text(const wchar_t* s) {
    do words_.push_back(static_cast<WORD>(*s));
    while (*s++ != L'\0');
  }
  std::vector<WORD> words_;
};

constexpr WORD kIcon = 100, kHeading = 101, kList = 102;

struct SummaryContent {
  std::wstring heading, list;
  LPCWSTR icon;
};

INT_PTR CALLBACK SummaryProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* content = reinterpret_cast<const SummaryContent*>(lParam);
      ::SetWindowTextW(dialog, L"Sealdoor");
      ::SendDlgItemMessageW(dialog, kIcon, STM_SETICON, reinterpret_cast<WPARAM>(::LoadIconW(nullptr, content->icon)),
                            0);
      ::SetDlgItemTextW(dialog, kHeading, content->heading.c_str());
      ::SetDlgItemTextW(dialog, kList, content->list.c_str());
      ::SetDlgItemTextW(dialog, IDOK, L"OK");
      // OK has the focus, as in a message box: Enter or Space closes it, and
      // the list is not selected as a whole.
      ::SetFocus(::GetDlgItem(dialog, IDOK));
      return FALSE;
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(dialog, IDOK);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

LPCWSTR IconOf(MessageStyle style) {
  switch (style) {
    case MessageStyle::Critical:
      return MAKEINTRESOURCEW(32513);  // IDI_ERROR
    case MessageStyle::Information:
      return MAKEINTRESOURCEW(32516);  // IDI_INFORMATION
    default:
      return MAKEINTRESOURCEW(32515);  // IDI_WARNING
  }
}

}  // namespace

void Win32MessageBoxes::Show(std::string_view text, MessageStyle style) {
  ::MessageBoxW(owner_, win32::Widen(text).c_str(), L"Sealdoor", MB_OK | static_cast<UINT>(style) | Modality(owner_));
}

bool Win32MessageBoxes::Ask(std::string_view text) {
  return ::MessageBoxW(owner_, win32::Widen(text).c_str(), L"Sealdoor",
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | Modality(owner_)) == IDYES;
}

// A heading beside the style's icon, the list in a read-only edit box that
// scrolls and can be selected and copied, and OK.
void Win32MessageBoxes::ShowSummary(std::string_view heading, std::string_view list, MessageStyle style) {
  const SummaryContent content{win32::Widen(heading), win32::Widen(list), IconOf(style)};
  DialogTemplate dialog(DS_MODALFRAME | DS_SETFONT | DS_CENTER | WS_POPUP | WS_CAPTION | WS_SYSMENU, 320, 190,
                        L"Sealdoor", 4);
  dialog.Item(SS_ICON, 10, 10, 20, 20, kIcon, 0x0082);
  dialog.Item(SS_LEFT | SS_NOPREFIX, 40, 12, 270, 20, kHeading, 0x0082);
  dialog.Item(ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP, 10, 36, 300, 126,
              kList, 0x0081);
  dialog.Item(BS_DEFPUSHBUTTON | WS_TABSTOP, 260, 168, 50, 14, IDOK, 0x0080);
  const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), dialog.Get(), owner_, SummaryProc,
                                                   reinterpret_cast<LPARAM>(&content));
  // Where no dialog can be made, the words still reach the user.
  if (result <= 0) MessageBoxes::ShowSummary(heading, list, style);
}

}  // namespace sealdoor::ui
