// The native window: its control tree at 96 dpi, its frame, its events on
// their way to the behaviour, and the open dialog as the dispatcher sets it.

#include <gtest/gtest.h>

#include <string>

#include "engine/win32/wide.h"
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

TEST(Win32Window, ControlsSitWhereTheLayoutPutsThem) {
  Window w;
  struct Row {
    int id, parent;
    int left, top, width, height;
    const wchar_t* cls;
    const char* text;
  };
  const Row rows[] = {
      {kFrame3, 0, 120, 0, 5412, 2892, L"SealdoorPanel", ""},
      {kLabel8, kFrame3, 240, 360, 3252, 1812, L"Static", ""},
      {kLabel9, kFrame3, 360, 480, 3012, 612, L"Static", ""},
      {kImage1_0, kFrame3, 360, 480, 384, 384, L"Static", "Locked"},
      {kImage1_1, kFrame3, 360, 480, 384, 384, L"Static", "Unlocked"},
      {kLabel10, kFrame3, 960, 480, 2532, 252, L"Static", "Sealdoor Version 1.01"},
      {kLabel11, kFrame3, 960, 720, 2412, 252, L"Static", nullptr},
      {kLabel12, kFrame3, 1080, 1080, 2292, 492, L"Static", ""},
      {kLabel13, kFrame3, 360, 1800, 3012, 252, L"Static", "Enter password first !"},
      {kLabel2, kFrame3, 240, 2340, 852, 252, L"Static", "Password:"},
      {kText1, kFrame3, 1200, 2340, 2292, 288, L"Edit", ""},
      {kCommand4, kFrame3, 3720, 360, 1572, 372, L"Button", "Lock Files"},
      {kCommand5, kFrame3, 3720, 960, 1572, 372, L"Button", "Unlock Files"},
      {kCommand6, kFrame3, 3720, 1560, 1572, 372, L"Button", "Unlock and Open"},
      {kCommand7, kFrame3, 3720, 2280, 1572, 372, L"Button", "Close"},
      {kFrame4, kFrame3, 240, 960, 3252, 1212, L"SealdoorPanel", ""},
      {kLabel18, kFrame4, 120, 120, 3012, 252, L"Static", "Unlock:"},
      {kLabel16, kFrame4, 120, 360, 3012, 252, L"Static", ""},
      {kLabel19, kFrame4, 120, 680, 492, 252, L"Static", "File:"},
      {kLabel15_0, kFrame4, 600, 720, 2052, 132, L"msctls_progress32", "File progress"},
      {kLabel15_1, kFrame4, 600, 720, 12, 132, L"Static", ""},
      {kLabel21, kFrame4, 2760, 680, 492, 252, L"Static", "100%"},
      {kLabel20, kFrame4, 120, 920, 492, 204, L"Static", "All:"},
      {kLabel17_0, kFrame4, 600, 960, 2052, 132, L"msctls_progress32", "Overall progress"},
      {kLabel17_1, kFrame4, 600, 960, 12, 132, L"Static", ""},
      {kLabel22, kFrame4, 2760, 920, 492, 252, L"Static", "100%"},
  };
  for (const auto& row : rows) {
    HWND control = w.view.Control(row.id);
    ASSERT_NE(control, nullptr) << row.id;
    HWND parent = row.parent ? w.view.Control(row.parent) : w.view.Handle();
    EXPECT_EQ(::GetParent(control), parent) << row.id;
    EXPECT_EQ(::GetDlgCtrlID(control), row.id);
    EXPECT_EQ(_wcsicmp(ClassOf(control).c_str(), row.cls), 0) << row.id;
    const RECT r = PlaceIn(control, parent);
    // 15 twips a pixel at 96 dpi.
    EXPECT_EQ(r.left, w.view.Px(row.left)) << row.id;
    EXPECT_EQ(r.top, w.view.Px(row.top)) << row.id;
    EXPECT_EQ(r.right - r.left, w.view.Px(row.width)) << row.id;
    EXPECT_EQ(r.bottom - r.top, w.view.Px(row.height)) << row.id;
    if (row.text) {
      EXPECT_EQ(TextOf(control), row.text) << row.id;
    }
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

}  // namespace
}  // namespace sealdoor::ui
