// What the behaviour asks of the Windows window: the password box, the
// status line, the padlock, the progress panel and the controls' state.

#include "engine/win32/windows_h.h"
// After windows.h, which they need.
#include <commctrl.h>

#include <utility>

#include "engine/secure_wipe.h"
#include "engine/win32/wide.h"
#include "text/tr.h"
#include "win32_form4.h"
#include "win32_form4_parts.h"

namespace sealdoor::ui {
using namespace win32_form4;
namespace {

constexpr DWORD kLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED

// The height `text` takes in `label`, wrapped at words to `width` pixels.
// Whether `text` fits in `width` x `height` pixels as the label draws it,
// wrapped at words: a word longer than the width does not.
bool Fits(HWND label, const std::wstring& text, int width, int height) {
  HDC dc = ::GetDC(label);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  RECT r{0, 0, width, 0};
  ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_CENTER | DT_NOPREFIX);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  return r.bottom - r.top <= height && r.right - r.left <= width;
}

void SetTip(HWND tooltip, HWND owner, HWND control, std::wstring tip) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = tip.data();
  ::SendMessageW(tooltip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

}  // namespace

void Win32Form4::SetWindowCaption(std::string_view text) { ::SetWindowTextW(window_, win32::Widen(text).c_str()); }

std::string Win32Form4::Text1() const {
  std::wstring wide = TextOf(Control(kText1));
  std::string text = win32::Narrow(wide);
  WipeBytes(wide.data(), wide.size() * sizeof(wchar_t));
  return text;
}

void Win32Form4::SetText1(std::string_view text) { ::SetWindowTextW(Control(kText1), win32::Widen(text).c_str()); }

void Win32Form4::FocusText1() { ::SetFocus(Control(kText1)); }

void Win32Form4::SelectText1() {
  ::SetFocus(Control(kText1));
  ::SendMessageW(Control(kText1), EM_SETSEL, 0, -1);
}

void Win32Form4::SetHintVisible(bool visible) { ::ShowWindow(Control(kLabel13), visible ? SW_SHOWNA : SW_HIDE); }

void Win32Form4::ShowPadlock(bool open) {
  ::ShowWindow(Control(kImage1_1), open ? SW_SHOWNA : SW_HIDE);
  ::ShowWindow(Control(kImage1_0), open ? SW_HIDE : SW_SHOWNA);
}

std::string Win32Form4::StatusText() const { return win32::Narrow(statusText_); }

void Win32Form4::SetStatus(std::string_view text, Rgb colour) {
  statusColour_ = colour;
  statusText_ = win32::Widen(text);
  PlaceStatus();
  // Said by a screen reader as it comes: the line is a live region.
  if (!text.empty()) ::NotifyWinEvent(kLiveRegionChanged, Control(kLabel12), OBJID_CLIENT, CHILDID_SELF);
}

void Win32Form4::PlaceStatus() {
  HWND label = Control(kLabel12);
  const layout::Twips design = layout::Find("Label12").place, wide = layout::kWideStatus;
  const bool roomy = Fits(label, statusText_, Px(design.width), Px(design.height));
  const layout::Twips& place = roomy ? design : wide;
  ::SetWindowPos(label, nullptr, Px(place.left), Px(place.top), Px(place.width), Px(place.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  std::wstring shown = statusText_;
  // Longer than any room the box has: cut at a word, the whole in the
  // tooltip.
  while (!roomy && !shown.empty() && !Fits(label, shown + L"...", Px(wide.width), Px(wide.height))) {
    const auto space = shown.find_last_of(L' ');
    shown.resize(space != std::wstring::npos && space > 0 ? space : shown.size() - 1);
  }
  const bool cut = shown != statusText_;
  if (cut) shown += L"...";
  ::SetWindowTextW(label, shown.c_str());
  if (tooltip_) SetTip(tooltip_, Control(kFrame3), label, cut ? statusText_ : std::wstring());
  ::InvalidateRect(label, nullptr, TRUE);
}

void Win32Form4::SetProgressVisible(bool visible) {
  HWND frame4 = Control(kFrame4);
  if (!visible) {
    ::ShowWindow(frame4, SW_HIDE);
    return;
  }
  if (::IsWindowVisible(frame4)) return;
  ::SetWindowPos(frame4, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
  // Painted now, with all it holds: the work on the file starts right after,
  // and the window's next turn may be a while away.
  ::RedrawWindow(frame4, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void Win32Form4::SetCaption(Caption which, std::string_view text) {
  int id = kLabel18;
  switch (which) {
    case Caption::Label18: id = kLabel18; break;
    case Caption::Label16: id = kLabel16; break;
    case Caption::Label21: id = kLabel21; break;
    case Caption::Label22: id = kLabel22; break;
  }
  const std::wstring wide = win32::Widen(text);
  // The label keeps the whole text (screen readers read it); it draws it
  // cut in the middle when it is too long.
  ::SetWindowTextW(Control(id), wide.c_str());
  if (id == kLabel16) {
    fullName_ = wide;
    UpdateNameTip();
  }
}

void Win32Form4::UpdateNameTip() {
  if (!tooltip_) return;
  HWND label = Control(kLabel16);
  RECT r{};
  ::GetClientRect(label, &r);
  HDC dc = ::GetDC(label);
  HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
  SIZE size{};
  ::GetTextExtentPoint32W(dc, fullName_.c_str(), static_cast<int>(fullName_.size()), &size);
  ::SelectObject(dc, old);
  ::ReleaseDC(label, dc);
  SetTip(tooltip_, Control(kFrame4), label, size.cx > r.right - r.left ? fullName_ : std::wstring());
}

void Win32Form4::SetBarWidth(Bar which, int twips) {
  const std::size_t bar = which == Bar::File ? 0 : 1;
  barTwips_[bar] = twips;
  HWND fill = Control(bar == 0 ? kLabel15_1 : kLabel17_1);
  ::SetWindowPos(fill, nullptr, 0, 0, Px(twips), Px(layout::Find("Label15", 1).place.height),
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The value, for screen readers: the track looks the same at any value.
  HWND track = Control(bar == 0 ? kLabel15_0 : kLabel17_0);
  const int percent = twips * 100 / kFullBarTwips;
  if (::SendMessageW(track, PBM_GETPOS, 0, 0) != percent) ::SendMessageW(track, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}

void Win32Form4::SetBatchControls(BatchControls state) {
  // The window itself stays enabled: its title bar's close must reach the
  // behaviour (which then stops the batch), and a message box enables its
  // owner again when it closes anyway.
  const bool idle = state == BatchControls::Idle;
  if (!idle && ::IsWindowEnabled(Control(kText1))) {
    HWND focus = ::GetFocus();
    batchFocus_ = focus && ::IsChild(window_, focus) ? focus : nullptr;
  }
  for (const int id : {kText1, kCommand4, kCommand5, kCommand6}) ::EnableWindow(Control(id), idle);
  ::EnableWindow(Control(kCommand7), state != BatchControls::Closing);
  const char* caption = state == BatchControls::Running ? layout::kStop : layout::Find("Command7").caption;
  ::SetWindowTextW(Control(kCommand7), win32::Widen(text::Tr(caption)).c_str());
  const bool active = ::GetActiveWindow() == window_;
  if (state == BatchControls::Running) {
    // The keyboard reaches "Stop" (Space, Escape), wherever the focus was.
    lastFocus_ = Control(kCommand7);
    if (active) ::SetFocus(lastFocus_);
  } else if (idle) {
    // Back where it was; only while the window is the active one: setting
    // the focus would bring it back over the program "Unlock and Open" has
    // just started. Otherwise it goes back when the user comes back
    // (WM_ACTIVATE).
    if (batchFocus_) lastFocus_ = std::exchange(batchFocus_, nullptr);
    if (lastFocus_ && ::IsWindow(lastFocus_) && active) ::SetFocus(lastFocus_);
  }
}

}  // namespace sealdoor::ui
