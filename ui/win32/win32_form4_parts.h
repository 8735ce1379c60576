#pragma once
// What the three files of the Windows window share: its window classes,
// its private message, and small conversions.

#include <string>

#include "engine/action.h"
#include "engine/win32/windows_h.h"
#include "win32_form4.h"

namespace sealdoor::ui::win32_form4 {

inline const wchar_t* const kFormClass = L"SealdoorForm4";
inline const wchar_t* const kPanelClass = L"SealdoorPanel";

// Work posted to run from the message loop.
inline constexpr UINT kPosted = WM_APP + 1;

inline Win32Form4* Self(HWND hwnd) {
  return reinterpret_cast<Win32Form4*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

inline std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

inline COLORREF ToColorRef(Rgb c) { return RGB(static_cast<BYTE>(c.r), static_cast<BYTE>(c.g), static_cast<BYTE>(c.b)); }

inline Action ActionOf(int button) {
  return button == kCommand4 ? Action::Lock : button == kCommand5 ? Action::Unlock : Action::UnlockAndOpen;
}

// The control's place in the design's table, from its id.
inline std::size_t IndexOfId(int id) { return static_cast<std::size_t>(id - 100); }

}  // namespace sealdoor::ui::win32_form4
