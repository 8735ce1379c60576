// The native window at home on the desktop: its colours follow the
// desktop's and stay readable, its fonts are what the design asks and are
// given back, screen readers hear every control, a batch shows its controls
// disabled and its panel at once, the program "Unlock and Open" started
// keeps the front, and a monitor of another scale gets the same layout.

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <set>

#include "../../engine/test_support.h"
#include "engine/path_text.h"
#include "engine/win32/wide.h"
#include "ui/contrast.h"
#include "window_fixture.h"
// After windows.h, which they need.
#include <commctrl.h>
#include <oleacc.h>

namespace sealdoor::ui {
namespace {

namespace fs = std::filesystem;
using test::Window;

Rgb ToRgb(COLORREF c) { return {GetRValue(c), GetGValue(c), GetBValue(c)}; }

// The colours a label is drawn in, as its panel answers WM_CTLCOLORSTATIC.
std::pair<Rgb, Rgb> Painted(HWND control) {
  HDC dc = ::CreateCompatibleDC(nullptr);
  ::SendMessageW(::GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(control));
  const std::pair<Rgb, Rgb> colours{ToRgb(::GetTextColor(dc)), ToRgb(::GetBkColor(dc))};
  ::DeleteDC(dc);
  return colours;
}

// The desktop's colours changed for the test's life.
class DesktopColoursFor {
 public:
  DesktopColoursFor(COLORREF tooltip, COLORREF text) {
    saved_ = {::GetSysColor(COLOR_INFOBK), ::GetSysColor(COLOR_WINDOWTEXT)};
    Set({tooltip, text});
  }
  ~DesktopColoursFor() { Set(saved_); }
  DesktopColoursFor(const DesktopColoursFor&) = delete;
  DesktopColoursFor& operator=(const DesktopColoursFor&) = delete;

 private:
  static void Set(std::array<COLORREF, 2> colours) {
    const INT which[] = {COLOR_INFOBK, COLOR_WINDOWTEXT};
    ::SetSysColors(2, which, colours.data());
  }
  std::array<COLORREF, 2> saved_{};
};

// Every text on the information boxes reads on what lies under it: 4.5:1,
// 3:1 for the bold red ones.
void ExpectEveryTextReads(Window& w) {
  w.view.SetStatus("\n\rWorking...  Plese wait...", kRed);
  for (const int id : {kLabel9, kLabel10, kLabel11, kLabel12, kLabel13, kLabel2, kLabel18, kLabel16, kLabel19,
                       kLabel21, kLabel20, kLabel22}) {
    const auto [text, back] = Painted(w.view.Control(id));
    const bool red = id == kLabel12 || id == kLabel13 || id == kLabel18;
    EXPECT_GE(ContrastRatio(text, back), red ? 3.0 : 4.5) << id;
  }
}

TEST(Win32Desktop, EveryTextReadsOnADarkTooltipColourAndFollowsTheDesktop) {
  {
    // A dark desktop before the window opens.
    const DesktopColoursFor dark(RGB(0x3f, 0x3f, 0x36), RGB(0xe6, 0xe6, 0xe6));
    Window w;
    ExpectEveryTextReads(w);
  }
  // A window already open follows a change of the desktop's colours.
  Window w;
  {
    const DesktopColoursFor dark(RGB(0x20, 0x20, 0x60), RGB(0xff, 0xff, 0xff));
    ExpectEveryTextReads(w);
  }
  const Rgb tooltip = ToRgb(::GetSysColor(COLOR_INFOBK));
  EXPECT_EQ(Painted(w.view.Control(kLabel11)).second, InfoTint(tooltip));
}

TEST(Win32Desktop, FontsAreTheDesignsAndGoWithTheWindow) {
  struct Expected {
    int id;
    double points;
    bool bold, underline;
  };
  const Expected rows[] = {
      {kLabel10, 9.6, false, false}, {kLabel9, 9.6, false, false}, {kLabel11, 7.8, false, false},
      {kLabel12, 7.8, true, false},  {kLabel13, 7.8, true, false}, {kLabel18, 7.8, true, true},
      {kLabel19, 7.8, true, false},  {kLabel20, 7.8, true, false}, {kLabel16, 7.8, false, false},
      {kCommand4, 7.8, false, false}, {kText1, 7.8, false, false}, {kLabel2, 7.8, false, false},
  };
  std::set<HFONT> fonts;
  {
    Window w;
    HDC dc = ::CreateCompatibleDC(nullptr);
    for (const auto& row : rows) {
      const auto font = reinterpret_cast<HFONT>(::SendMessageW(w.view.Control(row.id), WM_GETFONT, 0, 0));
      ASSERT_NE(font, nullptr) << row.id;
      fonts.insert(font);
      LOGFONTW asked{};
      ASSERT_EQ(::GetObjectW(font, sizeof asked, &asked), static_cast<int>(sizeof asked));
      EXPECT_STREQ(asked.lfFaceName, L"Microsoft Sans Serif") << row.id;
      EXPECT_EQ(asked.lfHeight, -std::lround(row.points * w.view.Dpi() / 72.0)) << row.id;
      EXPECT_EQ(asked.lfWeight, row.bold ? FW_BOLD : FW_NORMAL) << row.id;
      EXPECT_EQ(asked.lfUnderline != 0, row.underline) << row.id;
      // What the system draws with: bold where asked, and wider for it.
      HGDIOBJ old = ::SelectObject(dc, font);
      TEXTMETRICW tm{};
      ::GetTextMetricsW(dc, &tm);
      SIZE drawn{};
      ::GetTextExtentPoint32W(dc, L"Working...  Plese wait...", 25, &drawn);
      ::SelectObject(dc, old);
      if (row.bold) {
        EXPECT_GE(tm.tmWeight, FW_BOLD) << row.id;
        LOGFONTW regular = asked;
        regular.lfWeight = FW_NORMAL;
        HFONT plain = ::CreateFontIndirectW(&regular);
        old = ::SelectObject(dc, plain);
        SIZE plainSize{};
        ::GetTextExtentPoint32W(dc, L"Working...  Plese wait...", 25, &plainSize);
        ::SelectObject(dc, old);
        ::DeleteObject(plain);
        EXPECT_GT(drawn.cx, plainSize.cx) << row.id;
      } else {
        EXPECT_LT(tm.tmWeight, FW_SEMIBOLD) << row.id;
      }
    }
    ::DeleteDC(dc);
    // One font per kind, shared by the controls that use it.
    EXPECT_LE(fonts.size(), 4u);
  }
  for (HFONT font : fonts) EXPECT_EQ(::GetObjectType(font), 0u) << "a font outlived its window";

  // Where the system counts its objects (Windows; Wine answers 0): a window
  // made and closed again leaves none behind.
  const DWORD before = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS);
  if (before == 0) GTEST_SKIP() << "this system does not count GDI objects";
  for (int i = 0; i < 3; ++i) Window w;
  EXPECT_EQ(::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS), before);
}

// A control's name and value as MSAA gives them to screen readers.
struct Accessible {
  std::wstring name, value;
  long role = 0;
};
Accessible AccessibleOf(HWND control) {
  Accessible out;
  IAccessible* acc = nullptr;
  if (FAILED(::AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), __uuidof(IAccessible),
                                          reinterpret_cast<void**>(&acc))))
    return out;
  VARIANT self;
  ::VariantInit(&self);
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR text = nullptr;
  if (acc->get_accName(self, &text) == S_OK && text) out.name = text;
  ::SysFreeString(text);
  text = nullptr;
  if (acc->get_accValue(self, &text) == S_OK && text) out.value = text;
  ::SysFreeString(text);
  VARIANT role;
  ::VariantInit(&role);
  if (acc->get_accRole(self, &role) == S_OK && role.vt == VT_I4) out.role = role.lVal;
  acc->Release();
  return out;
}

TEST(Win32Desktop, ScreenReadersHearEveryControl) {
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    Window w;
    // The password box by its label, the padlocks by what they show, the
    // buttons by their captions.
    EXPECT_EQ(AccessibleOf(w.view.Control(kText1)).name.find(L"Password"), 0u);
    EXPECT_EQ(AccessibleOf(w.view.Control(kImage1_0)).name, L"Locked");
    EXPECT_EQ(AccessibleOf(w.view.Control(kImage1_1)).name, L"Unlocked");
    EXPECT_EQ(AccessibleOf(w.view.Control(kCommand6)).name, L"Unlock and Open");

    // The bars are progress bars with their values.
    w.view.SetBarWidth(Bar::File, kFullBarTwips / 2);
    w.view.SetBarWidth(Bar::Overall, kFullBarTwips / 4);
    for (const auto& [id, percent] : {std::pair{kLabel15_0, 50}, std::pair{kLabel17_0, 25}}) {
      HWND track = w.view.Control(id);
      EXPECT_EQ(::SendMessageW(track, PBM_GETPOS, 0, 0), percent) << id;
      const Accessible bar = AccessibleOf(track);
      EXPECT_FALSE(bar.name.empty()) << id;
      // Windows' own proxy for progress bars answers with the role and the
      // value; Wine 8 answers for none of them.
      if (bar.role == ROLE_SYSTEM_PROGRESSBAR) {
        EXPECT_EQ(bar.value, std::to_wstring(percent) + L"%");
      }
    }

    // A name too long for the panel shows cut; the whole name is its text
    // (what a screen reader reads) and its tooltip.
    const std::string longName = "C:\\" + std::string(80, 'd') + "\\a photograph with a long name.jpeg";
    w.view.SetCaption(Caption::Label16, longName);
    HWND label16 = w.view.Control(kLabel16);
    EXPECT_EQ(AccessibleOf(label16).name, win32::Widen(longName));
    auto tip = [&] {
      wchar_t text[512] = {};
      TTTOOLINFOW tool{};
      tool.cbSize = sizeof tool;
      tool.hwnd = w.view.Control(kFrame4);
      tool.uId = reinterpret_cast<UINT_PTR>(label16);
      tool.lpszText = text;
      ::SendMessageW(w.view.Tooltip(), TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
      return std::wstring(text);
    };
    EXPECT_EQ(tip(), win32::Widen(longName));
    w.view.SetCaption(Caption::Label16, "short.txt");
    EXPECT_EQ(tip(), L"");
  }
  ::CoUninitialize();
}

TEST(Win32Desktop, ABatchShowsItsControlsDisabled) {
  sealdoor::test::ScratchDir dir;
  const fs::path file = dir / "a.txt";
  sealdoor::test::WriteBytes(file, std::vector<std::uint8_t>(100, 'x'));
  Window w;
  w.view.Show();
  ::SetForegroundWindow(w.view.Handle());
  ::SetWindowTextW(w.view.Control(kText1), L"Abc1");
  ::SetFocus(w.view.Control(kCommand4));
  w.dialog.answers.push_back(PathText(file));
  bool checked = false;
  // The closing message comes while the batch still holds the window.
  w.messages.onShow = [&](const std::string&) {
    checked = true;
    for (const int id : {kText1, kCommand4, kCommand5, kCommand6, kCommand7})
      EXPECT_FALSE(::IsWindowEnabled(w.view.Control(id))) << id;
    EXPECT_TRUE(::IsWindowEnabled(w.view.Control(kLabel11)));  // texts keep their look
    // The disabled box keeps the system's own colours.
    HDC dc = ::CreateCompatibleDC(nullptr);
    EXPECT_EQ(::SendMessageW(w.view.Control(kFrame3), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                             reinterpret_cast<LPARAM>(w.view.Control(kText1))),
              ::DefWindowProcW(w.view.Control(kFrame3), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(w.view.Control(kText1))));
    ::DeleteDC(dc);
  };
  ::SendMessageW(w.view.Control(kCommand4), BM_CLICK, 0, 0);
  EXPECT_EQ(w.messages.Texts(), std::vector<std::string>{"File locked !"});
  EXPECT_TRUE(checked);
  for (const int id : {kText1, kCommand4, kCommand5, kCommand6, kCommand7})
    EXPECT_TRUE(::IsWindowEnabled(w.view.Control(id))) << id;
  // The keyboard goes on where it was.
  EXPECT_EQ(::GetFocus(), w.view.Control(kCommand4));
}

// Whether the progress panel had been painted when the first figure above
// 0% was written.
struct PaintWatch {
  static inline Window* window = nullptr;
  static inline bool seen = false, paintedFirst = false;
  static LRESULT CALLBACK Hook(int code, WPARAM wp, LPARAM lp) {
    const auto* m = reinterpret_cast<const CWPSTRUCT*>(lp);
    if (code == HC_ACTION && !seen && m->message == WM_SETTEXT &&
        (m->hwnd == window->view.Control(kLabel21) || m->hwnd == window->view.Control(kLabel22))) {
      const std::wstring text = reinterpret_cast<const wchar_t*>(m->lParam);
      if (!text.empty() && text != L"0%") {
        seen = true;
        paintedFirst = ::IsWindowVisible(window->view.Control(kFrame4));
        for (const int id : {kFrame4, kLabel18, kLabel16, kLabel19, kLabel20})
          if (::GetUpdateRect(window->view.Control(id), nullptr, FALSE)) paintedFirst = false;
      }
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
  }
};

TEST(Win32Desktop, TheProgressPanelIsPaintedBeforeTheWorkOnTheFile) {
  sealdoor::test::ScratchDir dir;
  const fs::path file = dir / "large.bin";
  {
    HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size{};
    size.QuadPart = 256LL << 20;
    ::SetFilePointerEx(h, size, nullptr, FILE_BEGIN);
    ::SetEndOfFile(h);
    ::CloseHandle(h);
  }
  Window w;
  w.view.Show();
  ::SetWindowTextW(w.view.Control(kText1), L"Abc1");
  w.dialog.answers.push_back(PathText(file));
  PaintWatch::window = &w;
  HHOOK hook = ::SetWindowsHookExW(WH_CALLWNDPROC, PaintWatch::Hook, nullptr, ::GetCurrentThreadId());
  ::SendMessageW(w.view.Control(kCommand4), BM_CLICK, 0, 0);
  ::UnhookWindowsHookEx(hook);
  ASSERT_TRUE(PaintWatch::seen);
  EXPECT_TRUE(PaintWatch::paintedFirst);
  EXPECT_EQ(w.messages.Texts(), std::vector<std::string>{"File locked !"});
}

// Runs the window's messages until `done`, a minute at most (the desktop
// may answer slowly on a busy machine: only a fault takes a minute).
bool PumpUntil(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  while (!done() && std::chrono::steady_clock::now() < until) {
    MSG m;
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
    ::Sleep(10);
  }
  return done();
}

// Runs the window's messages for a moment, for what should not happen to
// have its chance.
void Pump() {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  PumpUntil([&] { return std::chrono::steady_clock::now() >= until; });
}

TEST(Win32Desktop, TheOpenedProgramKeepsTheFront) {
  sealdoor::test::ScratchDir dir;
  const fs::path program = dir / "tool.exe";
  sealdoor::test::WriteBytes(program, std::vector<std::uint8_t>(100, 'x'));
  Window w;
  w.form.SetOpenPause(std::chrono::seconds(0));
  w.view.Show();
  // The program "Unlock and Open" starts comes to the front.
  HWND opened = ::CreateWindowExW(0, L"STATIC", L"the opened program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 50, 50,
                                  300, 200, nullptr, nullptr, nullptr, nullptr);
  ::SetForegroundWindow(w.view.Handle());
  ASSERT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == w.view.Handle(); }));
  w.starter.onStart = [&] {
    ::SetForegroundWindow(opened);
    EXPECT_TRUE(PumpUntil([&] { return ::GetForegroundWindow() == opened; }));
  };
  ::SetWindowTextW(w.view.Control(kText1), L"Abc1");
  ::SetFocus(w.view.Control(kCommand4));
  w.dialog.answers.push_back(PathText(program));
  ::SendMessageW(w.view.Control(kCommand4), BM_CLICK, 0, 0);  // locked
  w.dialog.answers.push_back(PathText(program));
  ::SetFocus(w.view.Control(kCommand6));
  ::SendMessageW(w.view.Control(kCommand6), BM_CLICK, 0, 0);  // unlocked and started
  ASSERT_EQ(w.starter.started.size(), 1u);
  Pump();  // Sealdoor takes nothing back once the program has started
  EXPECT_EQ(::GetForegroundWindow(), opened);
  // Back in Sealdoor, the focus is where it was.
  ::SetForegroundWindow(w.view.Handle());
  EXPECT_TRUE(PumpUntil([&] { return ::GetFocus() == w.view.Control(kCommand6); }))
      << "the focus is not back on Unlock and Open within a minute";
  ::DestroyWindow(opened);
}

RECT PlaceIn(HWND child, HWND parent) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

TEST(Win32Desktop, AMonitorOfAnotherScaleGetsTheSameLayout) {
  Window w;
  w.view.SetBarWidth(Bar::File, 1026);
  for (const int dpi : {144, 120, 96}) {
    // What Windows sends when the window moves to such a monitor (Wine has
    // one scale for all).
    RECT suggested{10, 20, 10 + 900, 20 + 600};
    ::SendMessageW(w.view.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    EXPECT_EQ(w.view.Dpi(), dpi);
    auto px = [&](int twips) { return static_cast<int>(std::lround(twips * dpi / 1440.0)); };
    RECT client{};
    ::GetClientRect(w.view.Handle(), &client);
    EXPECT_EQ(client.right, px(5664)) << dpi;
    EXPECT_EQ(client.bottom, px(3012)) << dpi;
    RECT frame{};
    ::GetWindowRect(w.view.Handle(), &frame);
    EXPECT_EQ(frame.left, 10);
    EXPECT_EQ(frame.top, 20);
    const RECT button = PlaceIn(w.view.Control(kCommand6), w.view.Control(kFrame3));
    EXPECT_EQ(button.left, px(3720)) << dpi;
    EXPECT_EQ(button.top, px(1560)) << dpi;
    EXPECT_EQ(button.right - button.left, px(1572)) << dpi;
    const RECT fill = PlaceIn(w.view.Control(kLabel15_1), w.view.Control(kFrame4));
    EXPECT_EQ(fill.right - fill.left, px(1026)) << dpi;
    LOGFONTW font{};
    ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(w.view.Control(kLabel12), WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    EXPECT_EQ(font.lfHeight, -std::lround(7.8 * dpi / 72.0)) << dpi;
  }
}

}  // namespace
}  // namespace sealdoor::ui
