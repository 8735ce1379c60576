// The Windows window's messages: its own, its panels', the buttons' and the
// bars', each passed on to Form4 or painted as the design has it.

#include "engine/win32/windows_h.h"
// After windows.h, which they need.
#include <commctrl.h>
#include <shellapi.h>

#include <vector>

#include "copy_drop_target.h"
#include "ui/form4.h"
#include "win32_form4.h"
#include "win32_form4_parts.h"

namespace sealdoor::ui {
using namespace win32_form4;

LRESULT CALLBACK Win32Form4::WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  }
  if (Win32Form4* self = Self(hwnd)) return self->OnMessage(hwnd, msg, wp, lp);
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Win32Form4::PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  }
  if (Win32Form4* self = Self(hwnd)) return self->OnPanelMessage(hwnd, msg, wp, lp);
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Win32Form4::ControlProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR data) {
  auto* self = reinterpret_cast<Win32Form4*>(data);
  if (self->form_ && msg == WM_MOUSEMOVE) {
    if (id == kCommand4) self->form_->Command4_MouseMove();
    if (id == kCommand5) self->form_->Command5_MouseMove();
    if (id == kCommand6) self->form_->Command6_MouseMove();
  }
  if (self->form_ && msg == WM_DROPFILES) {
    const auto drop = reinterpret_cast<HDROP>(wp);
    const std::vector<std::string> paths = DroppedPaths(drop);
    ::DragFinish(drop);
    self->form_->DropFiles(ActionOf(static_cast<int>(id)), paths);
    return 0;
  }
  return ::DefSubclassProc(hwnd, msg, wp, lp);
}

LRESULT CALLBACK Win32Form4::TrackProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR data) {
  auto* self = reinterpret_cast<Win32Form4*>(data);
  switch (msg) {
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      // The design's track: the information tint in a thin border, whatever
      // the value (the fill in front of it shows that).
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd, &ps);
      RECT r{};
      ::GetClientRect(hwnd, &r);
      ::FillRect(dc, &r, self->Brush(layout::Back::Info));
      HBRUSH border = ::CreateSolidBrush(ToColorRef(self->colours_.infoText));
      ::FrameRect(dc, &r, border);
      ::DeleteObject(border);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    default:
      return ::DefSubclassProc(hwnd, msg, wp, lp);
  }
}

LRESULT Win32Form4::OnMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SETCURSOR:
      if (busy_) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      // As a dialog box does: the control that had the focus gets it back
      // when the window is active again (after a message box, the dialog).
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND focus = ::GetFocus();
        if (focus && ::IsChild(hwnd, focus)) lastFocus_ = focus;
      } else if (lastFocus_ && ::IsWindow(lastFocus_) && ::IsWindowEnabled(hwnd)) {
        ::SetFocus(lastFocus_);
        return 0;
      }
      break;
    case WM_CLOSE: {
      const bool stay = form_ && form_->Form_QueryUnload();
      if (!stay && !ended_) ::DestroyWindow(hwnd);
      return 0;
    }
    case WM_COMMAND:
      // Escape, as IsDialogMessage tells it.
      if (LOWORD(wp) == IDCANCEL && form_) form_->EscapePressed();
      return 0;
    case WM_TIMER: {
      ::KillTimer(hwnd, wp);
      const auto it = timed_.find(wp);
      if (it == timed_.end()) return 0;
      auto work = std::move(it->second);
      timed_.erase(it);
      work();
      return 0;
    }
    case kPosted:
      while (!posted_.empty()) {
        auto work = std::move(posted_.front());
        posted_.pop_front();
        work();
      }
      return 0;
    case WM_DESTROY:
      RevokeDropTargets();
      ::PostQuitMessage(0);
      return 0;
    case WM_DPICHANGED: {
      // Moved to a monitor of another scale: the same layout at its DPI, in
      // the place Windows suggests.
      dpi_ = HIWORD(wp);
      const auto* suggested = reinterpret_cast<const RECT*>(lp);
      ::SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      FitClientArea();
      Layout();
      return 0;
    }
    case WM_SYSCOLORCHANGE:
    case WM_SETTINGCHANGE:
    case WM_THEMECHANGED:
      // The desktop's colours, or its high-contrast mode, changed.
      TakeDesktopColours();
      ::InvalidateRect(hwnd, nullptr, TRUE);
      ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT Win32Form4::OnPanelMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const int panel = ::GetDlgCtrlID(hwnd);
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r{};
      ::GetClientRect(hwnd, &r);
      ::FillRect(reinterpret_cast<HDC>(wp), &r, Brush(layout::kControls[IndexOfId(panel)].back));
      return 1;
    }
    case WM_CTLCOLORSTATIC: {
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
      const std::size_t index = IndexOfId(id);
      // The password box asks too while disabled: it keeps the system's look.
      if (index >= layout::kControls.size() || id == kText1) break;
      const layout::Back back = layout::kControls[index].back;
      const auto dc = reinterpret_cast<HDC>(wp);
      ::SetTextColor(dc, TextColour(index));
      ::SetBkColor(dc, BackColour(back));
      return reinterpret_cast<LRESULT>(Brush(back));
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlID != kImage1_0 && item->CtlID != kImage1_1) break;
      ::FillRect(item->hDC, &item->rcItem, Brush(layout::Back::Info));
      ::DrawIconEx(item->hDC, 0, 0, item->CtlID == kImage1_0 ? closedIcon_ : openIcon_,
                   item->rcItem.right - item->rcItem.left, item->rcItem.bottom - item->rcItem.top, 0, nullptr,
                   DI_NORMAL);
      return TRUE;
    }
    case WM_COMMAND:
      if (!form_) break;
      if (LOWORD(wp) == kText1 && HIWORD(wp) == EN_CHANGE) form_->Text1_Change();
      if (HIWORD(wp) == BN_CLICKED) {
        switch (LOWORD(wp)) {
          case kCommand4: form_->Command4_Click(); break;
          case kCommand5: form_->Command5_Click(); break;
          case kCommand6: form_->Command6_Click(); break;
          case kCommand7: form_->Command7_Click(); break;
          default: break;
        }
      }
      return 0;
    case WM_MOUSEMOVE:
      // Only the main panel's own background: each control takes its own moves.
      if (form_ && panel == kFrame3) form_->Frame3_MouseMove();
      return 0;
    case WM_SETCURSOR:
      if (busy_) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
        return TRUE;
      }
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace sealdoor::ui
