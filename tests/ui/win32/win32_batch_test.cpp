// The native window while a batch holds it: "Stop", Escape and the title
// bar's close stop the batch and the window stays, also after a message box
// has given the window back its input; names show as they are; drops are
// taken as a copy; the password box is the one that warns of Caps Lock.

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <thread>

#include "../../engine/test_support.h"
#include "engine/format.h"
#include "engine/path_text.h"
#include "engine/win32/wide.h"
#include "ui/win32/win32_message_boxes.h"
#include "window_fixture.h"
// After windows.h, which they need.
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

namespace sealdoor::ui {
namespace {

namespace fs = std::filesystem;
using test::Window;

bool IsLocked(const fs::path& p) { return format::IsLocked(sealdoor::test::ReadBytes(p)); }

std::string TextOf(HWND h) {
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(h)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(::GetWindowTextW(h, text.data(), static_cast<int>(text.size()))));
  return win32::Narrow(text);
}

// A folder of files for a batch: `names` with `bytes` each; the selection
// the dialog gives for them.
std::string Batch(const sealdoor::test::ScratchDir& dir, const std::vector<std::pair<std::string, std::size_t>>& files) {
  std::string selection = PathText(dir.Path());
  for (const auto& [name, bytes] : files) {
    sealdoor::test::WriteBytes(dir / name, sealdoor::test::RandomBytes(bytes, static_cast<unsigned>(bytes)));
    selection += '\0' + name;
  }
  return selection;
}

TEST(Win32Batch, StopEscapeAndTheCloseBoxStopTheBatchAndTheWindowStays) {
  enum Way { kStop, kEscape, kClose };
  for (const Way way : {kStop, kEscape, kClose}) {
    sealdoor::test::ScratchDir dir;
    const std::string selection = Batch(dir, {{"a", 3000}, {"b", 3000}, {"c", 3000}, {"d", 3000}});
    ASSERT_TRUE(sealdoor::test::Lock(dir / "b", "Abc1"));
    Window w;
    w.view.Show();
    ::SetForegroundWindow(w.view.Handle());
    ::SetWindowTextW(w.view.Control(kText1), L"Abc1");
    w.dialog.answers.push_back(selection);
    bool onlyStopTakesInput = false;
    // While b's refusal is up: what the batch leaves to press, and the
    // user's press, heard once the message is closed.
    w.messages.onShow = [&](const std::string& text) {
      if (!text.ends_with("already locked !")) return;
      HWND command7 = w.view.Control(kCommand7);
      onlyStopTakesInput = ::IsWindowEnabled(w.view.Handle()) && ::IsWindowEnabled(command7) &&
                           TextOf(command7) == "Stop" && ::GetFocus() == command7;
      for (const int id : {kText1, kCommand4, kCommand5, kCommand6})
        if (::IsWindowEnabled(w.view.Control(id))) onlyStopTakesInput = false;
      if (way == kStop) ::PostMessageW(command7, BM_CLICK, 0, 0);
      if (way == kEscape) ::PostMessageW(command7, WM_KEYDOWN, VK_ESCAPE, 0);
      if (way == kClose) ::PostMessageW(w.view.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
      ::Sleep(30);  // the user reads the message; the window's next turn comes at once
    };
    ::SendMessageW(w.view.Control(kCommand4), BM_CLICK, 0, 0);
    EXPECT_TRUE(onlyStopTakesInput) << way;
    EXPECT_TRUE(::IsWindow(w.view.Handle())) << way;
    ASSERT_EQ(w.messages.Texts().size(), 2u) << way;
    EXPECT_EQ(w.messages.Texts()[1], "Stopped: 1 of 4 files locked. The other files were not changed.") << way;
    EXPECT_TRUE(IsLocked(dir / "a"));
    EXPECT_FALSE(IsLocked(dir / "c") || IsLocked(dir / "d")) << way;
    EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(TextOf(w.view.Control(kCommand7)), "Close");
    for (const int id : {kText1, kCommand4, kCommand5, kCommand6, kCommand7})
      EXPECT_TRUE(::IsWindowEnabled(w.view.Control(id))) << id;
  }
}

// Closes the program's message boxes as they come, noting their texts;
// after the first, the title bar's close is pressed on the main window, as
// a user does once the box has given the window its input back.
class BoxCloser {
 public:
  explicit BoxCloser(HWND main) : main_(main), thread_([this] { Run(); }) {}
  ~BoxCloser() {
    done_ = true;
    thread_.join();
  }
  std::vector<std::wstring> Texts() {
    const std::lock_guard lock(mutex_);
    return texts_;
  }

 private:
  void Run() {
    std::size_t closed = 0;
    while (!done_) {
      HWND box = ::FindWindowW(L"#32770", L"Sealdoor");
      // The longest text of its own is the message; until the box has it,
      // it is not the user's to read.
      std::wstring text;
      for (HWND c = box && ::IsWindowVisible(box) ? ::GetWindow(box, GW_CHILD) : nullptr; c;
           c = ::GetWindow(c, GW_HWNDNEXT)) {
        wchar_t buf[1024] = {};
        ::GetWindowTextW(c, buf, 1024);
        if (std::wcslen(buf) > text.size()) text = buf;
      }
      if (text.empty()) {
        ::Sleep(5);
        continue;
      }
      {
        const std::lock_guard lock(mutex_);
        texts_.push_back(text);
      }
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      while (::IsWindow(box)) ::Sleep(5);
      if (++closed == 1) ::PostMessageW(main_, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
  }
  HWND main_;
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::vector<std::wstring> texts_;
  std::thread thread_;
};

TEST(Win32Batch, TheCloseBoxAfterAMessageBoxStopsTheBatchNeverEndsIt) {
  // A message box gives its owner back its input when it closes: the title
  // bar's close then reaches the window in the middle of the batch, which
  // must stop the batch properly and keep the window, not end the program
  // with the rest of the batch skipped.
  sealdoor::test::ScratchDir dir;
  const std::string selection =
      Batch(dir, {{"a", 3000}, {"b", 8u << 20}, {"c", 8u << 20}, {"d", 8u << 20}, {"e", 8u << 20}});
  ASSERT_TRUE(sealdoor::test::Lock(dir / "a", "Abc1"));
  // The windows of earlier tests, gone, left their thread a WM_QUIT, which
  // would end a message box at once.
  MSG quit;
  while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  sealdoor::test::FakePointer pointer;
  sealdoor::test::FakeDialog dialog;
  sealdoor::test::FakeStarter starter;
  Win32MessageBoxes messages;
  Win32Form4 view(::GetModuleHandleW(nullptr));
  Form4 form(view, {messages, pointer, dialog, starter});
  view.Attach(form);
  messages.SetOwner(view.Handle());
  form.Form_Load();
  view.Show();
  ::SetWindowTextW(view.Control(kText1), L"Abc1");
  dialog.answers.push_back(selection);
  std::vector<std::wstring> texts;
  {
    BoxCloser closer(view.Handle());
    ::SendMessageW(view.Control(kCommand4), BM_CLICK, 0, 0);
    texts = closer.Texts();
  }
  EXPECT_TRUE(::IsWindow(view.Handle()));
  ASSERT_EQ(texts.size(), 2u);
  EXPECT_EQ(texts[0], L"'" + (dir / "a").wstring() + L"' is already locked !");
  int locked = 0;
  for (const char* name : {"b", "c", "d", "e"}) locked += IsLocked(dir / name);
  EXPECT_LT(locked, 4);
  EXPECT_EQ(texts[1], win32::Widen("Stopped: " + std::to_string(locked) +
                                   " of 5 files locked. The other files were not changed."));
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  // Ready again: the close box closes the window.
  ::SendMessageW(view.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_FALSE(::IsWindow(view.Handle()));
}

TEST(Win32Batch, NamesShowAsTheyAre) {
  // An "&" is no shortcut key's mark, in the status line and the panel.
  Window w;
  for (const int id : {kLabel12, kLabel16}) EXPECT_TRUE(::GetWindowLongW(w.view.Control(id), GWL_STYLE) & SS_NOPREFIX) << id;
  for (const char* name : {"Tom & Jerry.avi", "&&double.txt", "a&b<c>.doc", "report<p><b>File locked !</b><!--.doc"}) {
    w.view.SetStatus(name, kBlack);
    EXPECT_EQ(w.view.StatusText(), name);
    w.view.SetCaption(Caption::Label16, name);
    EXPECT_EQ(TextOf(w.view.Control(kLabel16)), name);
  }
}

// Files offered for a drag as Explorer offers them: CF_HDROP. It lives on
// the test's stack; COM's references to it are not counted.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class FilesData final : public IDataObject {
 public:
  explicit FilesData(std::vector<std::wstring> paths) : paths_(std::move(paths)) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override {
    if (QueryGetData(format) != S_OK) return DV_E_FORMATETC;
    std::wstring list;
    for (const auto& p : paths_) list += p + L'\0';
    list += L'\0';
    HGLOBAL memory = ::GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    ::GlobalUnlock(memory);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    medium->pUnkForRelease = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override {
    return format && format->cfFormat == CF_HDROP && (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_FORMATETC;
  }
  HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

 private:
  std::vector<std::wstring> paths_;
};
#pragma GCC diagnostic pop

void Pump() {
  MSG m;
  while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&m);
    ::DispatchMessageW(&m);
  }
}

TEST(Win32Batch, DropsAreTakenAsACopyNeverAMove) {
  // A source told of a move may delete what it moved.
  ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr)));
  {
    sealdoor::test::ScratchDir dir;
    sealdoor::test::WriteBytes(dir / "a.txt", sealdoor::test::RandomBytes(3000, 7));
    Window w;
    ::SetWindowTextW(w.view.Control(kText1), L"Abc1");
    IDropTarget* target = w.view.DropTarget(kCommand4);
    ASSERT_NE(target, nullptr);
    FilesData files({(dir / "a.txt").wstring()});
    const POINTL at{5, 5};
    struct Case {
      DWORD offered, taken;
    };
    for (const Case c : {Case{DROPEFFECT_COPY | DROPEFFECT_MOVE, DROPEFFECT_COPY},
                         Case{DROPEFFECT_COPY | DROPEFFECT_MOVE | DROPEFFECT_LINK, DROPEFFECT_COPY},
                         Case{DROPEFFECT_LINK | DROPEFFECT_MOVE, DROPEFFECT_LINK},
                         Case{DROPEFFECT_MOVE, DROPEFFECT_NONE}}) {
      for (const DWORD keys : {DWORD{MK_LBUTTON}, DWORD{MK_LBUTTON | MK_SHIFT}}) {  // Shift asks for a move
        DWORD effect = c.offered;
        EXPECT_EQ(target->DragEnter(&files, keys, at, &effect), S_OK);
        EXPECT_EQ(effect, c.taken) << c.offered;
        effect = c.offered;
        EXPECT_EQ(target->DragOver(keys, at, &effect), S_OK);
        EXPECT_EQ(effect, c.taken) << c.offered;
        target->DragLeave();
      }
    }
    DWORD effect = DROPEFFECT_MOVE;
    target->DragEnter(&files, MK_LBUTTON, at, &effect);
    EXPECT_EQ(target->Drop(&files, MK_LBUTTON, at, &effect), S_OK);
    EXPECT_EQ(effect, DWORD{DROPEFFECT_NONE});
    Pump();
    EXPECT_FALSE(IsLocked(dir / "a.txt"));  // refused: nothing done
    effect = DROPEFFECT_COPY | DROPEFFECT_MOVE;
    target->DragEnter(&files, MK_LBUTTON | MK_SHIFT, at, &effect);
    EXPECT_EQ(target->Drop(&files, MK_LBUTTON | MK_SHIFT, at, &effect), S_OK);
    EXPECT_EQ(effect, DWORD{DROPEFFECT_COPY});
    // The batch runs once the drag is over, not while its source waits.
    EXPECT_FALSE(IsLocked(dir / "a.txt"));
    Pump();
    EXPECT_TRUE(IsLocked(dir / "a.txt"));
    EXPECT_EQ(w.messages.Texts(), std::vector<std::string>{"File locked !"});
    // A disabled button takes nothing.
    ::EnableWindow(w.view.Control(kCommand4), FALSE);
    effect = DROPEFFECT_COPY;
    target->DragEnter(&files, MK_LBUTTON, at, &effect);
    EXPECT_EQ(effect, DWORD{DROPEFFECT_NONE});
    target->DragLeave();
  }
  ::OleUninitialize();
}

TEST(Win32Batch, ThePasswordBoxIsTheOneThatWarnsOfCapsLock) {
  // The common controls of version 6 (the program's manifest) give a box
  // with ES_PASSWORD a balloon of its own while Caps Lock is on.
  Window w;
  HWND text1 = w.view.Control(kText1);
  EXPECT_TRUE(::GetWindowLongW(text1, GWL_STYLE) & ES_PASSWORD);
  // The common controls in use are version 6's, from the side-by-side
  // store, as the manifest asks (the version they report is not to be
  // trusted: Wine's say 5.81 there too).
  wchar_t path[MAX_PATH] = {};
  ASSERT_GT(::GetModuleFileNameW(::GetModuleHandleW(L"comctl32.dll"), path, MAX_PATH), 0u);
  std::wstring lower(path);
  for (auto& c : lower) c = static_cast<wchar_t>(std::towlower(c));
  EXPECT_NE(lower.find(L"\\winsxs\\"), std::wstring::npos) << win32::Narrow(path);
  EXPECT_NE(lower.find(L"common-controls_6595b64144ccf1df_6.0."), std::wstring::npos) << win32::Narrow(path);
  // It knows a cue banner, as only that version's edit control does.
  EXPECT_TRUE(::SendMessageW(text1, EM_SETCUEBANNER, FALSE, reinterpret_cast<LPARAM>(L"")));
}


TEST(Win32Batch, ASummaryShowsEveryLineInAListThatScrolls) {
  // Sixty files' reasons: a read-only edit box that scrolls holds them all,
  // the heading stands beside the icon, and OK closes it.
  MSG quit;
  while (::PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
  }
  std::wstring lines;
  for (int i = 0; i < 60; ++i) lines += (i ? L"\r\n" : L"") + std::wstring(L"'C:\\u\\&") + std::to_wstring(i) + L".txt': Invalid password !";
  struct Seen {
    LONG listStyle = 0;
    std::wstring list, heading;
    int visibleLines = 0, lineCount = 0;
  };
  std::optional<Seen> seen;  // the closer's until it is joined
  std::thread closer([&] {
    for (int tries = 0; tries < 2000; ++tries) {
      HWND box = ::FindWindowW(L"#32770", L"Sealdoor");
      HWND list = box ? ::FindWindowExW(box, nullptr, L"Edit", nullptr) : nullptr;
      if (!list || !::IsWindowVisible(box)) {
        ::Sleep(5);
        continue;
      }
      Seen s;
      s.listStyle = ::GetWindowLongW(list, GWL_STYLE);
      s.list.resize(static_cast<std::size_t>(::GetWindowTextLengthW(list)) + 1);
      s.list.resize(static_cast<std::size_t>(::GetWindowTextW(list, s.list.data(), static_cast<int>(s.list.size()))));
      s.lineCount = static_cast<int>(::SendMessageW(list, EM_GETLINECOUNT, 0, 0));
      for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        wchar_t buf[256] = {};
        ::GetWindowTextW(c, buf, 256);
        if (std::wstring(buf) == L"0 of 60 files unlocked.") s.heading = buf;
      }
      seen = s;
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      return;
    }
  });
  Win32MessageBoxes messages;
  messages.ShowSummary("0 of 60 files unlocked.", win32::Narrow(lines), text::MessageStyle::Exclamation);
  closer.join();
  ASSERT_TRUE(seen);
  EXPECT_TRUE(seen->listStyle & ES_READONLY);
  EXPECT_TRUE(seen->listStyle & ES_MULTILINE);
  EXPECT_TRUE(seen->listStyle & WS_VSCROLL);
  EXPECT_EQ(seen->list, lines);
  EXPECT_EQ(seen->lineCount, 60);
  EXPECT_EQ(seen->heading, L"0 of 60 files unlocked.");
}

}  // namespace
}  // namespace sealdoor::ui
