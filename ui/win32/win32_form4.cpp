#include "win32_form4.h"

#include <commctrl.h>
#include <shellapi.h>

#include <oleacc.h>

#include <cmath>
#include <utility>
#include <vector>

#include "copy_drop_target.h"
#include "engine/win32/wide.h"
#include "resources.h"
#include "text/tr.h"
#include "ui/form4.h"
#include "win32_form4_parts.h"

namespace sealdoor::ui {
using namespace win32_form4;
namespace {

// The TrueType face of "MS Sans Serif"'s design: it scales to every DPI and
// takes the desktop's font smoothing, where the old bitmap face has a few
// sizes only.
const wchar_t* const kFace = L"Microsoft Sans Serif";

// A screen reader learns that the status line is a live region through this
// UI Automation property (Windows 8 and later; earlier ones ignore it).
// {C12BCD8E-2A8E-4950-8AE7-3625111D58EB}
constexpr GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr long kLiveAssertive = 2;

Rgb ToRgb(COLORREF c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }

// Calls of Windows 10 (1607) and later, found at run time: the program runs
// on Windows 7 too, at the system's DPI there.
template <typename Fn>
Fn User32(const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), name)));
}

int DpiOf(HWND hwnd, int fallback) {
  static const auto getDpiForWindow = User32<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const UINT dpi = getDpiForWindow && hwnd ? getDpiForWindow(hwnd) : 0;
  return dpi ? static_cast<int>(dpi) : fallback;
}

RECT FrameFor(int width, int height, DWORD style, DWORD exStyle, int dpi) {
  static const auto adjustForDpi = User32<BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  RECT r{0, 0, width, height};
  if (!adjustForDpi || !adjustForDpi(&r, style, FALSE, exStyle, static_cast<UINT>(dpi)))
    ::AdjustWindowRectEx(&r, style, FALSE, exStyle);
  return r;
}

// A fixed dialog frame: a caption and the close box, no minimise, no
// maximise, no resizing.
constexpr DWORD kFormStyle = WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_DLGMODALFRAME | WS_EX_CONTROLPARENT;

std::wstring Shown(const char* english) { return *english ? win32::Widen(text::Tr(english)) : std::wstring(); }

}  // namespace

Win32Form4::Win32Form4(HINSTANCE instance) : instance_(instance) {
  HDC screen = ::GetDC(nullptr);
  dpi_ = ::GetDeviceCaps(screen, LOGPIXELSX);
  ::ReleaseDC(nullptr, screen);

  WNDCLASSEXW form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = WindowProc;
  form.hInstance = instance;
  form.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kIconClosedPadlock));
  form.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconClosedPadlock), IMAGE_ICON,
                                                 ::GetSystemMetrics(SM_CXSMICON), ::GetSystemMetrics(SM_CYSMICON),
                                                 LR_SHARED));
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

  const RECT r = FrameFor(Px(layout::kWindow.width), Px(layout::kWindow.height), kFormStyle, kFormExStyle, dpi_);
  window_ = ::CreateWindowExW(kFormExStyle, kFormClass, L"", kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance, this);
  TakeDesktopColours();
  BuildControls();
  // Per-monitor aware: the monitor the window opens on may not be at the
  // system's DPI.
  dpi_ = DpiOf(window_, dpi_);
  FitClientArea();
  Layout();
  DescribeForScreenReaders();
}

Win32Form4::~Win32Form4() {
  if (tooltip_ && ::IsWindow(tooltip_)) ::DestroyWindow(tooltip_);
  if (window_ && ::IsWindow(window_)) ::DestroyWindow(window_);
  for (HBRUSH brush : brushes_)
    if (brush) ::DeleteObject(brush);
  for (HFONT font : fonts_)
    if (font) ::DeleteObject(font);
  if (closedIcon_) ::DestroyIcon(closedIcon_);
  if (openIcon_) ::DestroyIcon(openIcon_);
}

void Win32Form4::FitClientArea() {
  // The frame as the system draws it at this DPI, measured rather than
  // computed: the client area is the design's, exactly.
  RECT frame{}, client{};
  ::GetWindowRect(window_, &frame);
  ::GetClientRect(window_, &client);
  const int width = Px(layout::kWindow.width) + (frame.right - frame.left) - client.right;
  const int height = Px(layout::kWindow.height) + (frame.bottom - frame.top) - client.bottom;
  ::SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32Form4::Px(int twips) const { return static_cast<int>(std::lround(twips * dpi_ / 1440.0)); }

HWND Win32Form4::Control(int id) const {
  const std::size_t index = IndexOfId(id);
  return index < controls_.size() ? controls_[index] : nullptr;
}

HWND Win32Form4::Make(std::size_t index) {
  const layout::Control& c = layout::kControls[index];
  const DWORD shown = c.visible ? WS_VISIBLE : 0;
  // SS_NOTIFY: a label takes its own mouse moves. SS_NOPREFIX: an "&" in a
  // file's name is a character, not the mark of a shortcut key.
  constexpr DWORD kLabel = SS_NOTIFY | SS_NOPREFIX;
  const wchar_t* cls = L"STATIC";
  DWORD style = shown;
  std::wstring text = Shown(c.caption);
  switch (c.kind) {
    case layout::Kind::Panel: cls = kPanelClass; break;
    case layout::Kind::Label:
      style |= kLabel | (c.align == layout::Align::Centre ? SS_CENTER : 0);
      // A long name shows its start and its end.
      if (c.name == "Label16") style |= SS_PATHELLIPSIS;
      break;
    case layout::Kind::Picture:
      style |= SS_OWNERDRAW | SS_NOTIFY;
      text = Shown(c.accessibleName);
      break;
    case layout::Kind::PasswordBox:
      cls = L"EDIT";
      style |= WS_TABSTOP | WS_BORDER | ES_PASSWORD | ES_AUTOHSCROLL;
      break;
    case layout::Kind::Button: cls = L"BUTTON"; style |= WS_TABSTOP | BS_PUSHBUTTON; break;
    case layout::Kind::BarTrack:
      // To screen readers a progress bar, with its value; drawn as the
      // design's plain track.
      cls = PROGRESS_CLASSW;
      text = Shown(c.accessibleName);
      break;
    case layout::Kind::BarFill: style |= kLabel | WS_BORDER; break;
  }
  HWND parent = c.parent.empty() ? window_ : controls_[layout::IndexOf(c.parent)];
  const bool panel = c.kind == layout::Kind::Panel;
  HWND hwnd = ::CreateWindowExW(panel ? WS_EX_CONTROLPARENT : 0, cls, text.c_str(), WS_CHILD | WS_CLIPSIBLINGS | style,
                                0, 0, 0, 0, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(100 + static_cast<int>(index))), instance_,
                                this);
  controls_[index] = hwnd;
  return hwnd;
}

void Win32Form4::BuildControls() {
  for (std::size_t i = 0; i < layout::kControls.size(); ++i) Make(i);
  HWND text1 = Control(kText1);
  ::SendMessageW(text1, EM_SETPASSWORDCHAR, L'*', 0);
  ::SendMessageW(text1, EM_LIMITTEXT, 24, 0);
  for (const int id : {kLabel15_0, kLabel17_0}) {
    ::SendMessageW(Control(id), PBM_SETRANGE32, 0, 100);
    ::SetWindowSubclass(Control(id), TrackProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
  }

  // The information boxes lie behind the pictures and texts on them; each
  // bar's fill in front of its track.
  for (const int id : {kLabel9, kLabel8, kLabel15_0, kLabel17_0})
    ::SetWindowPos(Control(id), HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  // The buttons tell their pointer moves and take dropped files.
  for (const int id : {kCommand4, kCommand5, kCommand6}) {
    ::SetWindowSubclass(Control(id), ControlProc, static_cast<UINT_PTR>(id), reinterpret_cast<DWORD_PTR>(this));
    ::DragAcceptFiles(Control(id), TRUE);
  }
  RegisterDropTargets();

  // Label16's whole name, where the label shows it cut.
  tooltip_ = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr,
                               instance_, nullptr);
  for (const int id : {kLabel16, kLabel12}) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = ::GetParent(Control(id));
    tool.uId = reinterpret_cast<UINT_PTR>(Control(id));
    tool.lpszText = const_cast<wchar_t*>(L"");
    ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void Win32Form4::RegisterDropTargets() {
  // Where OLE is not set up for this thread, drops come as WM_DROPFILES
  // alone, which tells the source nothing of the effect.
  for (const int id : {kCommand4, kCommand5, kCommand6}) {
    auto* target = new CopyDropTarget(Control(id), [this, id](std::vector<std::string> paths) {
      // Taken once the drag is over: the batch shows message boxes of its own.
      Post([this, id, paths = std::move(paths)] {
        if (form_) form_->DropFiles(ActionOf(id), paths);
      });
    });
    if (::RegisterDragDrop(Control(id), target) == S_OK)
      dropTargets_[id] = target;
    else
      target->Release();
  }
}

void Win32Form4::RevokeDropTargets() {
  // While the buttons still exist: OLE lets go of its references then.
  for (const auto& [id, target] : dropTargets_) {
    ::RevokeDragDrop(Control(id));
    target->Release();
  }
  dropTargets_.clear();
}

IDropTarget* Win32Form4::DropTarget(int id) const {
  const auto it = dropTargets_.find(id);
  return it == dropTargets_.end() ? nullptr : it->second;
}

void Win32Form4::DescribeForScreenReaders() {
  // The status line is a live region: what a batch writes there is said as
  // it comes. Without COM (or before Windows 8) the line is still read when
  // visited.
  IAccPropServices* services = nullptr;
  if (FAILED(::CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER, IID_IAccPropServices,
                                reinterpret_cast<void**>(&services))))
    return;
  VARIANT live;
  ::VariantInit(&live);
  live.vt = VT_I4;
  live.lVal = kLiveAssertive;
  services->SetHwndProp(Control(kLabel12), static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kLiveSettingProperty,
                        live);
  services->Release();
}

void Win32Form4::Layout() {
  for (std::size_t i = 0; i < layout::kControls.size(); ++i) {
    const layout::Twips& r = layout::kControls[i].place;
    int width = r.width;
    if (controls_[i] == Control(kLabel15_1)) width = barTwips_[0];
    if (controls_[i] == Control(kLabel17_1)) width = barTwips_[1];
    ::SetWindowPos(controls_[i], nullptr, Px(r.left), Px(r.top), Px(width), Px(r.height),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  MakeFonts();
  LoadPadlocks();
  PlaceStatus();
  UpdateNameTip();
  ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32Form4::MakeFonts() {
  struct Kind {
    double points;
    bool bold, underline;
  };
  // By layout::Face: "MS Sans Serif" 8 as the designer set it (7.8 points),
  // 9.6, bold, bold and underlined.
  constexpr Kind kinds[] = {{7.8, false, false}, {9.6, false, false}, {7.8, true, false}, {7.8, true, true}};
  std::array<HFONT, 4> made{};
  for (std::size_t i = 0; i < made.size(); ++i) {
    made[i] = ::CreateFontW(-static_cast<int>(std::lround(kinds[i].points * dpi_ / 72.0)), 0, 0, 0,
                            kinds[i].bold ? FW_BOLD : FW_NORMAL, FALSE, kinds[i].underline, FALSE, DEFAULT_CHARSET,
                            OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, kFace);
  }
  for (std::size_t i = 0; i < controls_.size(); ++i)
    ::SendMessageW(controls_[i], WM_SETFONT,
                   reinterpret_cast<WPARAM>(made[static_cast<std::size_t>(layout::kControls[i].face)]), TRUE);
  // The controls hold the new ones now: the old ones can go.
  for (HFONT old : std::exchange(fonts_, made))
    if (old) ::DeleteObject(old);
}

void Win32Form4::LoadPadlocks() {
  const int size = Px(layout::Find("Image1", 0).place.width);
  for (auto [icon, id] : {std::pair{&closedIcon_, kIconClosedPadlock}, std::pair{&openIcon_, kIconOpenPadlock}}) {
    if (*icon) ::DestroyIcon(*icon);
    *icon = static_cast<HICON>(::LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
  }
}

void Win32Form4::TakeDesktopColours() {
  DesktopColours desktop;
  desktop.tooltip = ToRgb(::GetSysColor(COLOR_INFOBK));
  desktop.text = ToRgb(::GetSysColor(COLOR_WINDOWTEXT));
  HIGHCONTRASTW contrast{};
  contrast.cbSize = sizeof contrast;
  desktop.highContrast =
      ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof contrast, &contrast, 0) && (contrast.dwFlags & HCF_HIGHCONTRASTON);
  desktop.window = ToRgb(::GetSysColor(COLOR_WINDOW));
  desktop.windowText = ToRgb(::GetSysColor(COLOR_WINDOWTEXT));
  desktop.highlight = ToRgb(::GetSysColor(COLOR_HIGHLIGHT));
  colours_ = ColoursFor(desktop);
  const Rgb backs[] = {colours_.panel, colours_.info, colours_.barFill};
  for (std::size_t i = 0; i < brushes_.size(); ++i) {
    if (brushes_[i]) ::DeleteObject(brushes_[i]);
    brushes_[i] = ::CreateSolidBrush(ToColorRef(backs[i]));
  }
}

HBRUSH Win32Form4::Brush(layout::Back back) const {
  return brushes_[back == layout::Back::Panel ? 0 : back == layout::Back::Fill ? 2 : 1];
}

COLORREF Win32Form4::BackColour(layout::Back back) const {
  return ToColorRef(back == layout::Back::Panel  ? colours_.panel
                    : back == layout::Back::Fill ? colours_.barFill
                                                 : colours_.info);
}

COLORREF Win32Form4::TextColour(std::size_t index) const {
  const layout::Control& c = layout::kControls[index];
  std::optional<Rgb> own = c.text;
  if (controls_[index] == Control(kLabel12) && statusColour_) own = statusColour_;
  if (c.back == layout::Back::Panel) return ToColorRef(own ? *own : colours_.panelText);
  return ToColorRef(own ? colours_.Fixed(*own) : colours_.infoText);
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

// Only 0 (WM_QUIT) ends the loop. Any other value that is not TRUE is one
// message lost, not the end of the program: Wine returns its failure status
// (negative) when the data of a message sent from another process, such as
// a large WM_COPYDATA, does not fit on this thread's stack.
int Win32Form4::Run() {
  MSG msg{};
  for (;;) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) break;
    if (got > 0) PumpOne(msg);
  }
  return static_cast<int>(msg.wParam);
}

void Win32Form4::Yield() {
  MSG msg{};
  for (;;) {
    const BOOL got = ::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);
    if (got == 0) return;
    if (got < 0) continue;  // as in Run: a message lost, and nothing in `msg`
    if (!PumpOne(msg)) {
      ::PostQuitMessage(static_cast<int>(msg.wParam));  // for the main loop to see
      return;
    }
  }
}

void Win32Form4::Post(std::function<void()> work) {
  posted_.push_back(std::move(work));
  ::PostMessageW(window_, kPosted, 0, 0);
}

void Win32Form4::After(std::chrono::milliseconds delay, std::function<void()> work) {
  const UINT_PTR id = nextTimer_++;
  timed_.emplace(id, std::move(work));
  ::SetTimer(window_, id, static_cast<UINT>(delay.count()), nullptr);
}

void Win32Form4::EndProgram() {
  ended_ = true;
  ::DestroyWindow(window_);
}

void Win32Form4::SetBusy(bool busy) {
  busy_ = busy;
  ::SetCursor(::LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

}  // namespace sealdoor::ui
