#include "win32_form4.h"

#include <commctrl.h>
#include <shellapi.h>

#include <cmath>
#include <vector>

#include "engine/secure_wipe.h"
#include "engine/win32/wide.h"
#include "resources.h"
#include "ui/form4.h"

namespace sealdoor::ui {
namespace {

const wchar_t* const kFormClass = L"SealdoorForm4";
const wchar_t* const kPanelClass = L"SealdoorPanel";

constexpr COLORREF kLightGrey = RGB(192, 192, 192);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kDarkBlue = RGB(0, 0, 192);
constexpr COLORREF kRedText = RGB(255, 0, 0);

COLORREF InfoBackground() { return ::GetSysColor(COLOR_INFOBK); }

Win32Form4* Self(HWND hwnd) { return reinterpret_cast<Win32Form4*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

}  // namespace

Win32Form4::Win32Form4(HINSTANCE instance) : instance_(instance) {
  HDC screen = ::GetDC(nullptr);
  dpi_ = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);

  const int icon = Px(384);
  closedIcon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconClosedPadlock), IMAGE_ICON, icon, icon, 0));
  openIcon_ = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconOpenPadlock), IMAGE_ICON, icon, icon, 0));

  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = WindowProc;
  form.hInstance = instance;
  form.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kIconClosedPadlock));
  form.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconClosedPadlock), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON), 0));
  form.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  form.lpszClassName = kFormClass;
  ::RegisterClassExW(&form);
  WNDCLASSEXW panel{};
  panel.cbSize = sizeof panel;
  panel.lpfnWndProc = PanelProc;
  panel.hInstance = instance;
  panel.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  panel.lpszClassName = kPanelClass;
  ::RegisterClassExW(&panel);

  // A fixed dialog frame: a caption and the close box, no minimise, no
  // maximise, no resizing.
  const DWORD style = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
  const DWORD exStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;
  RECT r{0, 0, Px(5664), Px(3012)};
  ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  window_ = ::CreateWindowExW(exStyle, kFormClass, L"", style, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                              r.bottom - r.top, nullptr, nullptr, instance, this);
  BuildControls();
}

Win32Form4::~Win32Form4() {
  if (window_ && ::IsWindow(window_)) ::DestroyWindow(window_);
  for (auto& [id, brush] : brushes_) ::DeleteObject(brush);
  for (auto& [id, font] : fonts_) ::DeleteObject(font);
  if (closedIcon_) ::DestroyIcon(closedIcon_);
  if (openIcon_) ::DestroyIcon(openIcon_);
}

int Win32Form4::Px(int twips) const { return static_cast<int>(std::lround(twips * dpi_ / 1440.0)); }

HWND Win32Form4::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

HWND Win32Form4::Make(const wchar_t* cls, int id, HWND parent, int left, int top, int width, int height,
                      const std::wstring& text, DWORD style) {
  const bool panel = cls == kPanelClass;
  HWND hwnd = ::CreateWindowExW(panel ? WS_EX_CONTROLPARENT : 0, cls, text.c_str(),
                                WS_CHILD | WS_CLIPSIBLINGS | style, Px(left), Px(top), Px(width), Px(height), parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, this);
  controls_[id] = hwnd;
  return hwnd;
}

void Win32Form4::BuildControls() {
  auto font = [&](int id, double points, bool bold = false, bool underline = false) {
    HFONT f = ::CreateFontW(-static_cast<int>(std::lround(points * dpi_ / 72.0)), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL,
                            FALSE, underline, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                            DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    fonts_[id] = f;
    ::SendMessageW(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
  };
  auto colours = [&](int id, COLORREF back, COLORREF text) {
    backColours_[id] = back;
    textColours_[id] = text;
    brushes_[id] = ::CreateSolidBrush(back);
  };
  const COLORREF info = InfoBackground();
  const COLORREF black = ::GetSysColor(COLOR_WINDOWTEXT);
  constexpr DWORD kLabel = WS_VISIBLE | SS_NOTIFY;  // SS_NOTIFY: a label takes its own mouse moves

  HWND frame3 = Make(kPanelClass, kFrame3, window_, 120, 0, 5412, 2892, L"", WS_VISIBLE);
  colours(kFrame3, kLightGrey, black);
  Make(L"STATIC", kLabel8, frame3, 240, 360, 3252, 1812, L"", kLabel);
  colours(kLabel8, info, black);
  Make(L"STATIC", kLabel9, frame3, 360, 480, 3012, 612, L"", kLabel);
  colours(kLabel9, info, kDarkBlue);
  Make(L"STATIC", kImage1_0, frame3, 360, 480, 384, 384, L"", WS_VISIBLE | SS_OWNERDRAW | SS_NOTIFY);
  Make(L"STATIC", kImage1_1, frame3, 360, 480, 384, 384, L"", SS_OWNERDRAW | SS_NOTIFY);
  Make(L"STATIC", kLabel10, frame3, 960, 480, 2532, 252, L"Sealdoor Version 1.01", kLabel);
  colours(kLabel10, info, kBlue);
  Make(L"STATIC", kLabel11, frame3, 960, 720, 2412, 252, L"Password file locker", kLabel);
  colours(kLabel11, info, black);
  Make(L"STATIC", kLabel12, frame3, 1080, 1080, 2292, 492, L"", kLabel | SS_CENTER);
  colours(kLabel12, info, RGB(0, 0, 0));
  Make(L"STATIC", kLabel13, frame3, 360, 1800, 3012, 252, L"Enter password first !", SS_NOTIFY | SS_CENTER);
  colours(kLabel13, info, kRedText);
  Make(L"STATIC", kLabel2, frame3, 240, 2340, 852, 252, L"Password:", kLabel);
  colours(kLabel2, kLightGrey, black);
  HWND text1 = Make(L"EDIT", kText1, frame3, 1200, 2340, 2292, 288, L"",
                    WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_PASSWORD | ES_AUTOHSCROLL);
  ::SendMessageW(text1, EM_SETPASSWORDCHAR, L'*', 0);
  ::SendMessageW(text1, EM_LIMITTEXT, 24, 0);
  constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
  Make(L"BUTTON", kCommand4, frame3, 3720, 360, 1572, 372, L"Lock Files", kButton);
  Make(L"BUTTON", kCommand5, frame3, 3720, 960, 1572, 372, L"Unlock Files", kButton);
  Make(L"BUTTON", kCommand6, frame3, 3720, 1560, 1572, 372, L"Unlock and Open", kButton);
  Make(L"BUTTON", kCommand7, frame3, 3720, 2280, 1572, 372, L"Close", kButton);

  HWND frame4 = Make(kPanelClass, kFrame4, frame3, 240, 960, 3252, 1212, L"", 0);
  colours(kFrame4, info, black);
  Make(L"STATIC", kLabel18, frame4, 120, 120, 3012, 252, L"Unlock:", kLabel | SS_CENTER);
  colours(kLabel18, info, kRedText);
  Make(L"STATIC", kLabel16, frame4, 120, 360, 3012, 252, L"", kLabel | SS_CENTER | SS_PATHELLIPSIS);
  colours(kLabel16, info, kBlue);
  Make(L"STATIC", kLabel19, frame4, 120, 680, 492, 252, L"File:", kLabel);
  colours(kLabel19, info, kDarkBlue);
  Make(L"STATIC", kLabel15_0, frame4, 600, 720, 2052, 132, L"", kLabel | WS_BORDER);
  colours(kLabel15_0, info, black);
  Make(L"STATIC", kLabel15_1, frame4, 600, 720, 12, 132, L"", kLabel | WS_BORDER);
  colours(kLabel15_1, kBlue, black);
  Make(L"STATIC", kLabel21, frame4, 2760, 680, 492, 252, L"100%", kLabel);
  colours(kLabel21, info, black);
  Make(L"STATIC", kLabel20, frame4, 120, 920, 492, 204, L"All:", kLabel);
  colours(kLabel20, info, kDarkBlue);
  Make(L"STATIC", kLabel17_0, frame4, 600, 960, 2052, 132, L"", kLabel | WS_BORDER);
  colours(kLabel17_0, info, black);
  Make(L"STATIC", kLabel17_1, frame4, 600, 960, 12, 132, L"", kLabel | WS_BORDER);
  colours(kLabel17_1, kBlue, black);
  Make(L"STATIC", kLabel22, frame4, 2760, 920, 492, 252, L"100%", kLabel);
  colours(kLabel22, info, black);

  for (const auto& [id, hwnd] : controls_) font(id, 7.8);  // "MS Sans Serif" 8, as the designer set it
  font(kLabel9, 9.6);
  font(kLabel10, 9.6);
  font(kLabel12, 7.8, true);
  font(kLabel13, 7.8, true);
  font(kLabel18, 7.8, true, true);
  font(kLabel19, 7.8, true);
  font(kLabel20, 7.8, true);

  // The information boxes lie behind the pictures and texts on them; each
  // bar's fill in front of its track.
  ::SetWindowPos(Control(kLabel9), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SetWindowPos(Control(kLabel8), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SetWindowPos(Control(kLabel15_0), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  ::SetWindowPos(Control(kLabel17_0), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  // The buttons tell their pointer moves and take dropped files.
  for (const int id : {kCommand4, kCommand5, kCommand6}) {
    ::SetWindowSubclass(Control(id), ControlProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
    ::DragAcceptFiles(Control(id), TRUE);
  }
}

void Win32Form4::Show() {
  RECT work{}, r{};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  ::GetWindowRect(window_, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  ::SetWindowPos(window_, nullptr, work.left + (work.right - work.left - w) / 2,
                 work.top + (work.bottom - work.top - h) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ::ShowWindow(window_, SW_SHOWNORMAL);
  ::UpdateWindow(window_);
  ::SetFocus(Control(kText1));
}

bool Win32Form4::PumpOne(const MSG& msg) {
  if (msg.message == WM_QUIT) return false;
  MSG m = msg;
  if (!::IsDialogMessageW(window_, &m)) {
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
  }
  return true;
}

int Win32Form4::Run() {
  MSG msg{};
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) PumpOne(msg);
  return static_cast<int>(msg.wParam);
}

void Win32Form4::Yield() {
  MSG msg{};
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (!PumpOne(msg)) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the main loop to see
      return;
    }
  }
}

void Win32Form4::EndProgram() {
  ended_ = true;
  ::DestroyWindow(window_);
}

void Win32Form4::SetBusy(bool busy) {
  busy_ = busy;
  ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void Win32Form4::SetWindowCaption(std::string_view text) { ::SetWindowTextW(window_, win32::Widen(text).c_str()); }

std::string Win32Form4::Text1() const {
  std::wstring wide = TextOf(Control(kText1));
  std::string text = win32::Narrow(wide);
  WipeBytes(wide.data(), wide.size() * sizeof(wchar_t));
  return text;
}

void Win32Form4::SetText1(std::string_view text) { ::SetWindowTextW(Control(kText1), win32::Widen(text).c_str()); }

void Win32Form4::FocusText1() { ::SetFocus(Control(kText1)); }

void Win32Form4::SetHintVisible(bool visible) { ::ShowWindow(Control(kLabel13), visible ? SW_SHOWNA : SW_HIDE); }

void Win32Form4::ShowPadlock(bool open) {
  if (open) {
    ::ShowWindow(Control(kImage1_1), SW_SHOWNA);
    ::ShowWindow(Control(kImage1_0), SW_HIDE);
  } else {
    ::ShowWindow(Control(kImage1_1), SW_HIDE);
    ::ShowWindow(Control(kImage1_0), SW_SHOWNA);
  }
}

std::string Win32Form4::StatusText() const { return win32::Narrow(TextOf(Control(kLabel12))); }

void Win32Form4::SetStatus(std::string_view text, Rgb colour) {
  textColours_[kLabel12] = RGB(colour.r, colour.g, colour.b);
  ::SetWindowTextW(Control(kLabel12), win32::Widen(text).c_str());
  ::InvalidateRect(Control(kLabel12), nullptr, TRUE);
}

void Win32Form4::SetProgressVisible(bool visible) {
  if (visible)
    ::SetWindowPos(Control(kFrame4), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
  else
    ::ShowWindow(Control(kFrame4), SW_HIDE);
}

void Win32Form4::SetCaption(Caption which, std::string_view text) {
  int id = kLabel18;
  switch (which) {
    case Caption::Label18: id = kLabel18; break;
    case Caption::Label16: id = kLabel16; break;
    case Caption::Label21: id = kLabel21; break;
    case Caption::Label22: id = kLabel22; break;
  }
  ::SetWindowTextW(Control(id), win32::Widen(text).c_str());
}

void Win32Form4::SetBarWidth(Bar which, int twips) {
  HWND fill = Control(which == Bar::File ? kLabel15_1 : kLabel17_1);
  ::SetWindowPos(fill, nullptr, 0, 0, Px(twips), Px(132), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Form4::SetEnabled(bool enabled) {
  // Disabling the window takes the keyboard focus from its control; it goes
  // back there after, so a keyboard user goes on where they were.
  if (!enabled) {
    HWND focus = ::GetFocus();
    if (focus && ::IsChild(window_, focus)) lastFocus_ = focus;
  }
  ::EnableWindow(window_, enabled);
  if (enabled && lastFocus_ && ::IsWindow(lastFocus_)) ::SetFocus(lastFocus_);
}

bool Win32Form4::Enabled() const { return ::IsWindowEnabled(window_) != 0; }

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
    std::vector<std::string> paths;
    const UINT count = ::DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
      std::wstring path(::DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
      path.resize(::DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
      paths.push_back(win32::Narrow(path));
    }
    ::DragFinish(drop);
    self->form_->DropFiles(id == kCommand4 ? 1 : id == kCommand5 ? 2 : 3, paths);
    return 0;
  }
  return ::DefSubclassProc(hwnd, msg, wp, lp);
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
      bool cancel = false;
      if (form_) form_->Form_QueryUnload(cancel);
      if (!cancel && !ended_) ::DestroyWindow(hwnd);
      return 0;
    }
    case WM_DESTROY:
      ::PostQuitMessage(0);
      return 0;
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
      ::FillRect(reinterpret_cast<HDC>(wp), &r, brushes_[panel]);
      return 1;
    }
    case WM_CTLCOLORSTATIC: {
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
      const auto dc = reinterpret_cast<HDC>(wp);
      if (!brushes_.contains(id)) break;
      ::SetTextColor(dc, textColours_[id]);
      ::SetBkColor(dc, backColours_[id]);
      return reinterpret_cast<LRESULT>(brushes_[id]);
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlID != kImage1_0 && item->CtlID != kImage1_1) break;
      HBRUSH back = ::CreateSolidBrush(InfoBackground());
      ::FillRect(item->hDC, &item->rcItem, back);
      ::DeleteObject(back);
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
