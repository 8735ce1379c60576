#include "win32_message_boxes.h"

#include "engine/win32/wide.h"

namespace sealdoor::ui {

void Win32MessageBoxes::Show(std::string_view text, MessageStyle style) {
  ::MessageBoxW(owner_, win32::Widen(text).c_str(), L"Sealdoor",
                MB_OK | static_cast<UINT>(style) | (owner_ ? MB_APPLMODAL : MB_TASKMODAL));
}

bool Win32MessageBoxes::Ask(std::string_view text) {
  return ::MessageBoxW(owner_, win32::Widen(text).c_str(), L"Sealdoor",
                       MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | (owner_ ? MB_APPLMODAL : MB_TASKMODAL)) == IDYES;
}

}  // namespace sealdoor::ui
