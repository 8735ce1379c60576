#include "win32_form4.h"

#include <commctrl.h>
#include <shellapi.h>

#include <oleacc.h>

#include <cmath>
#include <utility>
#include <vector>

#include "copy_drop_target.h"
#include "engine/secure_wipe.h"
#include "engine/win32/wide.h"
#include "resources.h"
#include "ui/form4.h"

namespace sealdoor::ui {
namespace {

const wchar_t* const kFormClass = L"SealdoorForm4";
const wchar_t* const kPanelClass = L"SealdoorPanel";

// The TrueType face of "MS Sans Serif"'s design: it scales to every DPI and
// takes the desktop's font smoothing, where the old bitmap face has a few
// sizes only.
const wchar_t* const kFace = L"Microsoft Sans Serif";

constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kDarkBlue{0, 0, 192};
constexpr Rgb kRedText{255, 0, 0};

// A screen reader learns that the status line is a live region through this
// UI Automation property (Windows 8 and later; earlier ones ignore it).
// {C12BCD8E-2A8E-4950-8AE7-3625111D58EB}
constexpr GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
constexpr long kLiveAssertive = 2;
constexpr DWORD kLiveRegionChanged = 0x8019;  // EVENT_OBJECT_LIVEREGIONCHANGED

Win32Form4* Self(HWND hwnd) { return reinterpret_cast<Win32Form4*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

std::wstring TextOf(HWND hwnd) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
  return text;
}

Rgb ToRgb(COLORREF c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }
COLORREF ToColorRef(Rgb c) {
  return RGB(static_cast<BYTE>(c.r), static_cast<BYTE>(c.g), static_cast<BYTE>(c.b));
}

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

// The password box and the action buttons: what a batch disables.
constexpr int kInputs[] = {kText1, kCommand4, kCommand5, kCommand6};

// Work posted to run from the message loop.
constexpr UINT kPosted = WM_APP + 1;

Action ActionOf(int button) {
  return button == kCommand4 ? Action::Lock : button == kCommand5 ? Action::Unlock : Action::UnlockAndOpen;
}

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

  const RECT r = FrameFor(Px(5664), Px(3012), kFormStyle, kFormExStyle, dpi_);
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
  const int width = Px(5664) + (frame.right - frame.left) - client.right;
  const int height = Px(3012) + (frame.bottom - frame.top) - client.bottom;
  ::SetWindowPos(window_, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

int Win32Form4::Px(int twips) const { return static_cast<int>(std::lround(twips * dpi_ / 1440.0)); }

HWND Win32Form4::Control(int id) const {
  const auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

HWND Win32Form4::Make(const wchar_t* cls, int id, HWND parent, RECT twips, const std::wstring& text, DWORD style,
                      Look look, Font font) {
  const bool panel = cls == kPanelClass;
  HWND hwnd = ::CreateWindowExW(panel ? WS_EX_CONTROLPARENT : 0, cls, text.c_str(),
                                WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 0, 0, parent,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance_, this);
  controls_[id] = hwnd;
  places_[id] = twips;
  looks_[id] = look;
  fontOf_[id] = font;
  return hwnd;
}

void Win32Form4::BuildControls() {
  // SS_NOTIFY: a label takes its own mouse moves. SS_NOPREFIX: an "&" in a
  // file's name is a character, not the mark of a shortcut key.
  constexpr DWORD kLabel = WS_VISIBLE | SS_NOTIFY | SS_NOPREFIX;
  const Look info{Back::Info, std::nullopt};
  auto infoText = [](Rgb colour) { return Look{Back::Info, colour}; };

  HWND frame3 = Make(kPanelClass, kFrame3, window_, {120, 0, 5412, 2892}, L"", WS_VISIBLE, {Back::Panel, std::nullopt});
  Make(L"STATIC", kLabel8, frame3, {240, 360, 3252, 1812}, L"", kLabel, info);
  Make(L"STATIC", kLabel9, frame3, {360, 480, 3012, 612}, L"", kLabel, infoText(kDarkBlue), kLarge);
  Make(L"STATIC", kImage1_0, frame3, {360, 480, 384, 384}, L"Locked", WS_VISIBLE | SS_OWNERDRAW | SS_NOTIFY);
  Make(L"STATIC", kImage1_1, frame3, {360, 480, 384, 384}, L"Unlocked", SS_OWNERDRAW | SS_NOTIFY);
  Make(L"STATIC", kLabel10, frame3, {960, 480, 2532, 252}, L"Sealdoor Version 1.01", kLabel, infoText(kBlue), kLarge);
  Make(L"STATIC", kLabel11, frame3, {960, 720, 2412, 252}, L"Password file locker", kLabel, info);
  Make(L"STATIC", kLabel12, frame3, {1080, 1080, 2292, 492}, L"", kLabel | SS_CENTER, infoText(kBlack), kBold);
  Make(L"STATIC", kLabel13, frame3, {360, 1800, 3012, 252}, L"Enter password first !", SS_NOTIFY | SS_CENTER,
       infoText(kRedText), kBold);
  // The password box's label comes right before it: a screen reader names
  // the box by it.
  Make(L"STATIC", kLabel2, frame3, {240, 2340, 852, 252}, L"Password:", kLabel, {Back::Panel, std::nullopt});
  HWND text1 = Make(L"EDIT", kText1, frame3, {1200, 2340, 2292, 288}, L"",
                    WS_VISIBLE | WS_TABSTOP | WS_BORDER | ES_PASSWORD | ES_AUTOHSCROLL);
  ::SendMessageW(text1, EM_SETPASSWORDCHAR, L'*', 0);
  ::SendMessageW(text1, EM_LIMITTEXT, 24, 0);
  constexpr DWORD kButton = WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;
  Make(L"BUTTON", kCommand4, frame3, {3720, 360, 1572, 372}, L"Lock Files", kButton);
  Make(L"BUTTON", kCommand5, frame3, {3720, 960, 1572, 372}, L"Unlock Files", kButton);
  Make(L"BUTTON", kCommand6, frame3, {3720, 1560, 1572, 372}, L"Unlock and Open", kButton);
  Make(L"BUTTON", kCommand7, frame3, {3720, 2280, 1572, 372}, L"Close", kButton);

  HWND frame4 = Make(kPanelClass, kFrame4, frame3, {240, 960, 3252, 1212}, L"", 0, info);
  Make(L"STATIC", kLabel18, frame4, {120, 120, 3012, 252}, L"Unlock:", kLabel | SS_CENTER, infoText(kRedText),
       kBoldUnderlined);
  Make(L"STATIC", kLabel16, frame4, {120, 360, 3012, 252}, L"", kLabel | SS_CENTER | SS_PATHELLIPSIS,
       infoText(kBlue));
  // Each bar's track is a progress bar (to screen readers: its value), drawn
  // as the design's plain track; its caption right before it names it.
  Make(L"STATIC", kLabel19, frame4, {120, 680, 492, 252}, L"File:", kLabel, infoText(kDarkBlue), kBold);
  Make(PROGRESS_CLASSW, kLabel15_0, frame4, {600, 720, 2052, 132}, L"File progress", WS_VISIBLE);
  Make(L"STATIC", kLabel15_1, frame4, {600, 720, 12, 132}, L"", kLabel | WS_BORDER, {Back::Fill, std::nullopt});
  Make(L"STATIC", kLabel21, frame4, {2760, 680, 492, 252}, L"100%", kLabel, info);
  Make(L"STATIC", kLabel20, frame4, {120, 920, 492, 204}, L"All:", kLabel, infoText(kDarkBlue), kBold);
  Make(PROGRESS_CLASSW, kLabel17_0, frame4, {600, 960, 2052, 132}, L"Overall progress", WS_VISIBLE);
  Make(L"STATIC", kLabel17_1, frame4, {600, 960, 12, 132}, L"", kLabel | WS_BORDER, {Back::Fill, std::nullopt});
  Make(L"STATIC", kLabel22, frame4, {2760, 920, 492, 252}, L"100%", kLabel, info);
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
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = frame4;
  tool.uId = reinterpret_cast<UINT_PTR>(Control(kLabel16));
  tool.lpszText = const_cast<wchar_t*>(L"");
  ::SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
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
  for (const auto& [id, r] : places_) {
    int width = r.right;
    if (id == kLabel15_1) width = barTwips_[0];
    if (id == kLabel17_1) width = barTwips_[1];
    ::SetWindowPos(Control(id), nullptr, Px(r.left), Px(r.top), Px(width), Px(r.bottom),
                   SWP_NOZORDER | SWP_NOACTIVATE);
  }
  MakeFonts();
  LoadPadlocks();
  UpdateNameTip();
  ::InvalidateRect(window_, nullptr, TRUE);
}

void Win32Form4::MakeFonts() {
  struct Kind {
    double points;
    bool bold, underline;
  };
  // "MS Sans Serif" 8 as the designer set it (7.8 points), and 9.6.
  constexpr Kind kinds[kFonts] = {{7.8, false, false}, {9.6, false, false}, {7.8, true, false}, {7.8, true, true}};
  std::array<HFONT, kFonts> made{};
  for (std::size_t i = 0; i < made.size(); ++i) {
    made[i] = ::CreateFontW(-static_cast<int>(std::lround(kinds[i].points * dpi_ / 72.0)), 0, 0, 0,
                            kinds[i].bold ? FW_BOLD : FW_NORMAL, FALSE, kinds[i].underline, FALSE, DEFAULT_CHARSET,
                            OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, VARIABLE_PITCH | FF_SWISS, kFace);
  }
  for (const auto& [id, hwnd] : controls_)
    ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(made[static_cast<std::size_t>(fontOf_[id])]), TRUE);
  // The controls hold the new ones now: the old ones can go.
  for (HFONT old : std::exchange(fonts_, made))
    if (old) ::DeleteObject(old);
}

void Win32Form4::LoadPadlocks() {
  const int size = Px(384);
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

COLORREF Win32Form4::TextColour(int id) const {
  const auto it = looks_.find(id);
  if (it == looks_.end()) return ToColorRef(colours_.infoText);
  const Look& look = it->second;
  if (look.back == Back::Panel) return ToColorRef(look.text ? *look.text : colours_.panelText);
  return ToColorRef(look.text ? colours_.Fixed(*look.text) : colours_.infoText);
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

void Win32Form4::SelectText1() {
  ::SetFocus(Control(kText1));
  ::SendMessageW(Control(kText1), EM_SETSEL, 0, -1);
}

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
  looks_[kLabel12].text = colour;
  HWND label = Control(kLabel12);
  ::SetWindowTextW(label, win32::Widen(text).c_str());
  ::InvalidateRect(label, nullptr, TRUE);
  // Said by a screen reader as it comes: the line is a live region.
  if (!text.empty()) ::NotifyWinEvent(kLiveRegionChanged, label, OBJID_CLIENT, CHILDID_SELF);
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
  const bool cut = size.cx > r.right - r.left;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = Control(kFrame4);
  tool.uId = reinterpret_cast<UINT_PTR>(label);
  std::wstring tip = cut ? fullName_ : std::wstring();
  tool.lpszText = tip.data();
  ::SendMessageW(tooltip_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void Win32Form4::SetBarWidth(Bar which, int twips) {
  const std::size_t bar = which == Bar::File ? 0 : 1;
  barTwips_[bar] = twips;
  HWND fill = Control(bar == 0 ? kLabel15_1 : kLabel17_1);
  ::SetWindowPos(fill, nullptr, 0, 0, Px(twips), Px(132), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
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
  for (const int id : kInputs) ::EnableWindow(Control(id), idle);
  ::EnableWindow(Control(kCommand7), state != BatchControls::Closing);
  ::SetWindowTextW(Control(kCommand7), state == BatchControls::Running ? L"Stop" : L"Close");
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
      ::FillRect(dc, &r, self->brushes_[static_cast<std::size_t>(Back::Info)]);
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
      ::FillRect(reinterpret_cast<HDC>(wp), &r, brushes_[static_cast<std::size_t>(looks_[panel].back)]);
      return 1;
    }
    case WM_CTLCOLORSTATIC: {
      const int id = ::GetDlgCtrlID(reinterpret_cast<HWND>(lp));
      const auto dc = reinterpret_cast<HDC>(wp);
      const auto look = looks_.find(id);
      // The password box asks too while disabled: it keeps the system's look.
      if (look == looks_.end() || id == kText1) break;
      const std::size_t back = static_cast<std::size_t>(look->second.back);
      ::SetTextColor(dc, TextColour(id));
      ::SetBkColor(dc, ToColorRef(back == 0 ? colours_.panel : back == 1 ? colours_.info : colours_.barFill));
      return reinterpret_cast<LRESULT>(brushes_[back]);
    }
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (item->CtlID != kImage1_0 && item->CtlID != kImage1_1) break;
      ::FillRect(item->hDC, &item->rcItem, brushes_[static_cast<std::size_t>(Back::Info)]);
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
