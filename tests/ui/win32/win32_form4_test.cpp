// The native window: its control tree at 96 dpi, its frame, its events on
// their way to the behaviour, and the open dialog as the dispatcher sets it.

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "engine/win32/wide.h"
#include "text/tr.h"
#include "text/window_texts.h"
#include "ui/selection.h"
#include "ui/win32/win32_file_dialog.h"
#include "window_fixture.h"

namespace sealdoor::ui {
namespace {

using test::Window;

std::wstring ClassOf(HWND h) {
  wchar_t name[64] = {};
  ::GetClassNameW(h, name, 64);
  return name;
}

std::string TextOf(HWND h) {
  wchar_t text[256] = {};
  ::GetWindowTextW(h, text, 256);
  return win32::Narrow(text);
}

RECT PlaceIn(HWND child, HWND parent) {
  RECT r{};
  ::GetWindowRect(child, &r);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

LONG Style(HWND h) { return ::GetWindowLongW(h, GWL_STYLE); }

// The window class each kind of control is made of.
const wchar_t* ClassFor(layout::Kind kind) {
  switch (kind) {
    case layout::Kind::Panel: return L"SealdoorPanel";
    case layout::Kind::PasswordBox: return L"Edit";
    case layout::Kind::Button: return L"Button";
    case layout::Kind::BarTrack: return L"msctls_progress32";
    default: return L"Static";
  }
}

TEST(Win32Window, ControlsSitWhereTheLayoutPutsThem) {
  Window w;
  for (const layout::Control& c : layout::kControls) {
    const int id = IdOf(c.name, c.index);
    const std::string what = std::string(c.name) + (c.index >= 0 ? "(" + std::to_string(c.index) + ")" : "");
    HWND control = w.view.Control(id);
    ASSERT_NE(control, nullptr) << what;
    HWND parent = c.parent.empty() ? w.view.Handle() : w.view.Control(IdOf(c.parent));
    EXPECT_EQ(::GetParent(control), parent) << what;
    EXPECT_EQ(::GetDlgCtrlID(control), id);
    EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), ClassFor(c.kind)), 0) << what;
    EXPECT_EQ((Style(control) & WS_VISIBLE) != 0, c.visible) << what;
    const RECT r = PlaceIn(control, parent);
    // 15 twips a pixel at 96 dpi.
    EXPECT_EQ(r.left, w.view.Px(c.place.left)) << what;
    EXPECT_EQ(r.top, w.view.Px(c.place.top)) << what;
    EXPECT_EQ(r.right - r.left, w.view.Px(c.place.width)) << what;
    EXPECT_EQ(r.bottom - r.top, w.view.Px(c.place.height)) << what;
    // A control without a text of its own carries its name for screen readers.
    EXPECT_EQ(TextOf(control), *c.accessibleName && c.kind != layout::Kind::PasswordBox ? c.accessibleName : c.caption)
        << what;
  }
}

TEST(Win32Window, AFixedDialogFrameAndTheControlsStartingStates) {
  Window w;
  HWND form = w.view.Handle();
  EXPECT_EQ(TextOf(form), "Sealdoor");
  const LONG style = Style(form);
  EXPECT_TRUE(style & WS_CAPTION);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME));
  RECT client{};
  ::GetClientRect(form, &client);
  EXPECT_EQ(client.right, w.view.Px(5664));
  EXPECT_EQ(client.bottom, w.view.Px(3012));
  EXPECT_NE(::GetClassLongPtrW(form, GCLP_HICON), 0);  // the padlock, from the program's resources

  HWND text1 = w.view.Control(kText1);
  EXPECT_TRUE(Style(text1) & ES_PASSWORD);
  EXPECT_EQ(::SendMessageW(text1, EM_GETPASSWORDCHAR, 0, 0), L'*');
  EXPECT_EQ(::SendMessageW(text1, EM_GETLIMITTEXT, 0, 0), 24);
  // Tab stops: the box, then the four buttons; no default button.
  for (const auto& [id, expected] :
       {std::pair{kText1, true}, std::pair{kCommand4, true}, std::pair{kCommand7, true}, std::pair{kLabel2, false},
        std::pair{kLabel12, false}}) {
    EXPECT_EQ((Style(w.view.Control(id)) & WS_TABSTOP) != 0, expected) << id;
  }
  for (const int id : {kCommand4, kCommand5, kCommand6, kCommand7})
    EXPECT_EQ(Style(w.view.Control(id)) & BS_TYPEMASK, BS_PUSHBUTTON) << id;
  EXPECT_EQ(::GetNextDlgTabItem(w.view.Control(kFrame3), text1, FALSE), w.view.Control(kCommand4));
  EXPECT_FALSE(Style(w.view.Control(kLabel13)) & WS_VISIBLE);
  EXPECT_FALSE(Style(w.view.Control(kFrame4)) & WS_VISIBLE);
  EXPECT_TRUE(Style(w.view.Control(kImage1_0)) & WS_VISIBLE);
  EXPECT_FALSE(Style(w.view.Control(kImage1_1)) & WS_VISIBLE);
}

TEST(Win32Window, ItsEventsReachTheBehaviour) {
  Window w;
  // Typing a refused character: the box empties, the message comes once.
  ::SetWindowTextW(w.view.Control(kText1), L"ab!");
  EXPECT_EQ(w.view.Text1(), "");
  EXPECT_EQ(w.messages.Texts(),
            std::vector<std::string>{"Invalid characters in password !\n\rEnter letters or digits only."});
  // Pointer over "Unlock Files": the hint (the box is empty) and the open padlock.
  ::SendMessageW(w.view.Control(kCommand5), WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  EXPECT_TRUE(Style(w.view.Control(kLabel13)) & WS_VISIBLE);
  EXPECT_TRUE(Style(w.view.Control(kImage1_1)) & WS_VISIBLE);
  EXPECT_FALSE(Style(w.view.Control(kImage1_0)) & WS_VISIBLE);
  // A status text left by a batch goes with a move over the panel itself.
  w.view.SetStatus("File locked !", kBlack);
  ::SendMessageW(w.view.Control(kFrame3), WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(w.view.StatusText(), "");
  EXPECT_TRUE(Style(w.view.Control(kImage1_0)) & WS_VISIBLE);
  // "Lock Files" without a password: no dialog.
  ::SendMessageW(w.view.Control(kCommand4), BM_CLICK, 0, 0);
  EXPECT_TRUE(w.dialog.asked.empty());
  // With one, the dialog as the dispatcher sets it.
  ::SetWindowTextW(w.view.Control(kText1), L"Abc1");
  ::SendMessageW(w.view.Control(kCommand4), BM_CLICK, 0, 0);
  ASSERT_EQ(w.dialog.asked.size(), 1u);
  EXPECT_EQ(w.dialog.asked[0].initialDir, "C:\\");
  EXPECT_EQ(w.dialog.asked[0].flags, 0x38520C);
}

TEST(Win32Dialog, TheSystemsDialogGetsWhatTheDispatcherAsks) {
  FileDialogOptions options;
  options.initialDir = "C:\\";
  options.title = "Sealdoor - Lock File(s)";
  options.filter = "All Files (*.*)|*.*|Text (*.txt)|*.txt";
  options.flags = 0x38520C;
  OpenFileRequest request;
  Prepare(request, options, nullptr);
  EXPECT_EQ(request.ofn.Flags, 0x38520Cu);
  EXPECT_EQ(std::wstring(request.ofn.lpstrFilter, 37), std::wstring(L"All Files (*.*)\0*.*\0Text (*.txt)\0*.txt\0\0", 37));
  EXPECT_STREQ(request.ofn.lpstrTitle, L"Sealdoor - Lock File(s)");
  EXPECT_STREQ(request.ofn.lpstrInitialDir, L"C:\\");
  EXPECT_GE(request.ofn.nMaxFile, 100000u);  // thousands of names fit

  // What it gives back, in the form the dispatcher splits.
  const std::wstring several(L"C:\\work\0a.txt\0b c.txt\0\0", 23);
  const std::string selection = SelectionText(std::vector<wchar_t>(several.begin(), several.end()));
  EXPECT_EQ(selection, std::string("C:\\work\0a.txt\0b c.txt", 21));
  const Selection split = SplitSelection(selection);
  ASSERT_EQ(split.size(), 2u);
  EXPECT_EQ(split.Path(1).wstring(), L"C:\\work\\b c.txt");
  const std::wstring one(L"C:\\work\\a.txt\0\0", 15);
  EXPECT_EQ(SelectionText(std::vector<wchar_t>(one.begin(), one.end())), "C:\\work\\a.txt");
}


TEST(Win32Window, EveryStatusTextFitsItsLineAtEachScale) {
  // The longest texts the status line shows, measured as the label draws
  // them: each fits in the room it is given, wrapped, at 96 and at 192 dpi;
  // a text no room holds (a very long name) is cut at a word.
  const std::string name = "Quarterly report for the board.txt";
  const std::vector<std::string> texts = {
      text::Waiting(Action::Unlock, 5, 1, false),
      text::Waiting(std::nullopt, 1, 0, false),
      text::Waiting(std::nullopt, 12, 3, false) + "\n" + text::AlsoWaiting({Action::Lock, Action::Unlock}),
      text::ActionAsked(Action::UnlockAndOpen, false),
      text::OpenUnlocked(name, false) + "\n" + text::AlsoWaiting({Action::Unlock}),
      text::LockedAgain(name),
      text::ToDo(Action::Unlock, 123456) + text::Tr(text::kWorking),
      text::OpenUnlocked(std::string(300, 'x') + ".txt", true),
  };
  for (const int dpi : {96, 192}) {
    Window w;
    if (dpi != 96) {
      RECT r{};
      ::GetWindowRect(w.view.Handle(), &r);
      r.right = r.left + (r.right - r.left) * dpi / 96;
      r.bottom = r.top + (r.bottom - r.top) * dpi / 96;
      ::SendMessageW(w.view.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&r));
    }
    ASSERT_EQ(w.view.Dpi(), dpi);
    HWND label = w.view.Control(kLabel12);
    for (const std::string& t : texts) {
      SCOPED_TRACE(std::to_string(dpi) + " dpi: " + t);
      w.view.SetStatus(t, kBlack);
      wchar_t buffer[1024] = {};
      ::GetWindowTextW(label, buffer, 1024);
      const std::wstring shown = buffer;
      RECT room{};
      ::GetClientRect(label, &room);
      HDC dc = ::GetDC(label);
      HGDIOBJ old = ::SelectObject(dc, reinterpret_cast<HGDIOBJ>(::SendMessageW(label, WM_GETFONT, 0, 0)));
      RECT needed{0, 0, room.right, 0};
      ::DrawTextW(dc, shown.c_str(), static_cast<int>(shown.size()), &needed,
                  DT_CALCRECT | DT_WORDBREAK | DT_CENTER | DT_NOPREFIX);
      ::SelectObject(dc, old);
      ::ReleaseDC(label, dc);
      EXPECT_LE(needed.bottom, room.bottom);
      EXPECT_LE(needed.right, room.right);
      if (shown != win32::Widen(t)) {
        EXPECT_TRUE(shown.ends_with(L"..."));
      }
    }
  }
}


TEST(Win32Window, WorkAskedForLaterRunsFromTheMessageLoopInTheOrderOfItsDelays) {
  // What the behaviour asks to run after a while (the watch on a program
  // started for a file) comes from the window's message loop, each once.
  Window w;
  std::vector<int> ran;
  w.view.After(std::chrono::milliseconds(60), [&] { ran.push_back(2); });
  w.view.After(std::chrono::milliseconds(10), [&] { ran.push_back(1); });
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  MSG msg;
  while (ran.size() < 2 && std::chrono::steady_clock::now() < until) {
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    ::Sleep(5);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
  while (std::chrono::steady_clock::now() < deadline) {  // and never again
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(5);
  }
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace sealdoor::ui
