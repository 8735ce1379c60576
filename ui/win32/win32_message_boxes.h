#pragma once
#include "engine/win32/windows_h.h"
#include "ui/message_boxes.h"

namespace sealdoor::ui {

// MessageBoxW, modal to the window, titled "Sealdoor": the styles' numbers
// are Windows' own (16 MB_ICONERROR, 48 MB_ICONWARNING, 64 MB_ICONINFORMATION).
class Win32MessageBoxes final : public MessageBoxes {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  void Show(std::string_view text, MessageStyle style) override;
  bool Ask(std::string_view text) override;
  void ShowSummary(std::string_view heading, std::string_view list, MessageStyle style) override;

 private:
  HWND owner_ = nullptr;
};

}  // namespace sealdoor::ui
