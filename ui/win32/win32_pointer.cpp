#include "win32_pointer.h"

#include "win32_form4.h"

namespace sealdoor::ui {

void Win32Pointer::SetBusy() {
  if (window_)
    window_->SetBusy(true);
  else
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
}

void Win32Pointer::SetNormal() {
  if (window_)
    window_->SetBusy(false);
  else
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
}

}  // namespace sealdoor::ui
