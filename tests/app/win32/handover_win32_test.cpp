// Files from a second sealdoor.exe: it hands them to the window of the
// first copy (here the test's own, wired as the program wires its own)
// through WM_COPYDATA and ends. What is not a well-formed message of our
// own user is refused and changes nothing.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "../../engine/test_support.h"
#include "../../ui/service_fakes.h"
#include "app/handover_message.h"
#include "app/single_instance.h"
#include "app/win32/handover.h"
#include "engine/format.h"
#include "ui/form4.h"
#include "ui/win32/win32_form4.h"
#include "support/win32/odd_names.h"
#include "support/win32/beside_test.h"

namespace sealdoor::app {
namespace {

namespace fs = std::filesystem;

std::wstring AppPath() { return test::BesideThisTest(SEALDOOR_APP_FROM_TEST).wstring(); }

// Runs the window's messages until `done`, or a minute has passed (a start
// may take long on a busy machine: only a fault takes a minute).
bool PumpUntil(const std::function<bool()>& done, int ms = 60000) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done() && std::chrono::steady_clock::now() < until) {
    MSG m{};
    while (::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&m);
      ::DispatchMessageW(&m);
    }
    ::Sleep(5);
  }
  return done();
}

// A later launch, `command` started in `folder` (the test's own where
// none), with the window's messages run until it ends: its exit code, or
// nothing when it could not start or did not end within a minute.
std::optional<DWORD> LaunchAndWait(std::wstring command, const wchar_t* folder = nullptr) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &si, &pi))
    return std::nullopt;
  const bool ended = PumpUntil([&] { return ::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; });
  DWORD code = 1;
  ::GetExitCodeProcess(pi.hProcess, &code);
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(pi.hThread);
  if (!ended) return std::nullopt;
  return code;
}

// The first copy: the session's lock, the window and its hand-over window.
struct First {
  SingleInstance lock;
  test::FakeMessages messages;
  test::FakePointer pointer;
  test::FakeDialog dialog;
  test::FakeStarter starter;
  ui::Win32Form4 view{::GetModuleHandleW(nullptr)};
  ui::Form4 form{view, {messages, pointer, dialog, starter}};
  HandoverWindow handover{::GetModuleHandleW(nullptr), [this] { BringForward(view.Handle()); },
                          [this](const Arrival& a) { form.FilesFromOutside(a.action, a.paths); }};
  First() {
    view.Attach(form);
    form.Form_Load();
    view.Show();
  }
};

bool IsLocked(const fs::path& p) { return format::IsLocked(test::ReadBytes(p)); }

TEST(Handover, ASecondSealdoorHandsItsFilesToTheRunningWindow) {
  test::ScratchDir dir;
  test::WriteBytes(dir / "a.txt", test::RandomBytes(5000, 1));
  test::WriteBytes(dir / "b b.txt", test::RandomBytes(3000, 2));
  First first;
  ASSERT_TRUE(first.lock.First());
  first.view.SetText1("Abc123");
  EXPECT_EQ(LaunchAndWait(L"\"" + AppPath() + L"\" --lock \"" + (dir / "a.txt").wstring() + L"\" \"" +
                          (dir / "b b.txt").wstring() + L"\""),
            0u);
  EXPECT_TRUE(PumpUntil([&] { return !first.messages.shown.empty(); }));
  EXPECT_EQ(first.messages.Texts(), std::vector<std::string>{"Files locked !"});
  EXPECT_TRUE(IsLocked(dir / "a.txt") && IsLocked(dir / "b b.txt"));
  EXPECT_TRUE(first.dialog.asked.empty());
}

// Names reach the running window as Windows gave them to the later
// launch: a name with a trailing dot, or with a lone surrogate, is the file
// of that name, never the one Windows' usual path rules or a replacement
// character would name. (Wine's disks hold no name with a lone surrogate:
// there that file is not found, and nothing else is locked in its place.)
// A name with a dot at its end is found as named, with or without a file
// of the shortened name beside it.
TEST(Handover, NamesReachTheRunningWindowAsWindowsGivesThem) {
  test::ScratchDir dir;
  const test::Tidy tidy(dir.Path());
  const std::wstring dotted = L"x.", alone = L"y.", lone = L"a\xD800.txt";
  const std::wstring others[] = {L"x", L"a\uFFFD.txt"};
  const auto plain = test::RandomBytes(3000, 11);
  const auto other = test::RandomBytes(2000, 12);
  ASSERT_TRUE(test::WriteAs(test::Extended(dir.Path(), dotted), plain));
  ASSERT_TRUE(test::WriteAs(test::Extended(dir.Path(), alone), plain));
  const bool made = test::WriteAs(test::Extended(dir.Path(), lone), plain);
  for (const auto& name : others) ASSERT_TRUE(test::WriteAs(test::Extended(dir.Path(), name), other));
  First first;
  ASSERT_TRUE(first.lock.First());
  first.view.SetText1("Abc123");
  // Given as they are in the launch's own working folder.
  EXPECT_EQ(LaunchAndWait(L"\"" + AppPath() + L"\" --lock \"" + dotted + L"\" \"" + alone + L"\" \"" + lone + L"\"",
                          dir.Path().c_str()),
            0u);
  EXPECT_TRUE(PumpUntil([&] { return !first.messages.shown.empty(); }));
  if (made) {
    EXPECT_EQ(first.messages.Texts(), std::vector<std::string>{"Files locked !"});
  }
  EXPECT_TRUE(format::IsLocked(test::ReadAs(test::Extended(dir.Path(), dotted))));
  EXPECT_TRUE(format::IsLocked(test::ReadAs(test::Extended(dir.Path(), alone))))
      << ::testing::PrintToString(first.messages.Texts());
  if (made) {
    EXPECT_TRUE(format::IsLocked(test::ReadAs(test::Extended(dir.Path(), lone))));
  }
  for (const auto& name : others) EXPECT_TRUE(test::ReadAs(test::Extended(dir.Path(), name)) == other);
}

TEST(Handover, WhatIsNotAWellFormedMessageOfOurOwnIsRefused) {
  test::ScratchDir dir;
  test::WriteBytes(dir / "a", {1});
  First first;
  HWND sender = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  const std::wstring good = [&] {
    const std::string utf8 = EncodeArrival({std::nullopt, {(dir / "a").string()}, 1});
    std::wstring w(utf8.size(), L'\0');
    w.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                                            w.data(), static_cast<int>(w.size()))));
    return w;
  }();
  auto send = [&](HWND from, ULONG_PTR tag, const void* data, DWORD bytes) {
    COPYDATASTRUCT cds{tag, bytes, const_cast<void*>(data)};
    return ::SendMessageW(first.handover.Handle(), WM_COPYDATA, reinterpret_cast<WPARAM>(from),
                          reinterpret_cast<LPARAM>(&cds));
  };
  const DWORD size = static_cast<DWORD>(good.size() * sizeof(wchar_t));
  const std::wstring foreign = L"hello world";
  EXPECT_EQ(send(sender, kHandoverTag + 1, good.data(), size), FALSE);  // another program's tag
  EXPECT_EQ(send(sender, kHandoverTag, good.data(), size - 1), FALSE);  // not whole UTF-16
  EXPECT_EQ(send(sender, kHandoverTag, good.data(), static_cast<DWORD>(kMaxMessageBytes + 2)), FALSE);  // oversized
  EXPECT_EQ(send(sender, kHandoverTag, nullptr, 0), FALSE);
  EXPECT_EQ(send(sender, kHandoverTag, foreign.data(), static_cast<DWORD>(foreign.size() * sizeof(wchar_t))), FALSE);
  EXPECT_EQ(send(nullptr, kHandoverTag, good.data(), size), FALSE);  // from nobody known
  PumpUntil([] { return false; }, 700);
  EXPECT_TRUE(first.form.PendingFiles().empty());
  EXPECT_TRUE(first.messages.shown.empty());
  EXPECT_EQ(send(sender, kHandoverTag, good.data(), size), TRUE);
  EXPECT_TRUE(PumpUntil([&] { return first.form.PendingFiles().size() == 1; }));
  ::DestroyWindow(sender);
}

// More than one message holds (a launch given so many files by another
// program): the launch says what helps, since waiting does not.
TEST(Handover, ALaunchTooLargeToHandOverSaysWhatToDoInstead) {
  Arrival huge{Action::Lock, {}, 1};
  std::size_t bytes = 0;
  for (int i = 0; bytes <= kMaxMessageBytes; ++i) {
    huge.paths.push_back("C:\\" + std::to_string(i) + std::string(60'000, 'x'));
    bytes += huge.paths.back().size() * sizeof(wchar_t);
  }
  std::wstring said;
  std::atomic<bool> done{false};
  std::thread closer([&] {  // the box is modal: read and closed from beside it
    while (!done) {
      HWND box = ::FindWindowW(L"#32770", L"Sealdoor");
      if (!box || !::IsWindowVisible(box)) {
        ::Sleep(5);
        continue;
      }
      // The longest text of its own is the message, once the box has its controls.
      for (HWND c = ::GetWindow(box, GW_CHILD); c; c = ::GetWindow(c, GW_HWNDNEXT)) {
        wchar_t text[1024] = {};
        ::GetWindowTextW(c, text, 1024);
        if (std::wcslen(text) > said.size()) said = text;
      }
      if (said.empty()) {
        ::Sleep(5);
        continue;
      }
      ::PostMessageW(box, WM_COMMAND, IDOK, 0);
      return;
    }
  });
  // As at a launch's start: nothing waiting in this thread's queue (a
  // WM_QUIT left by an earlier window would close the box at once).
  for (MSG m{}; ::PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE) > 0;) {
  }
  EXPECT_EQ(HandOverAndEnd(huge), 1);
  done = true;
  closer.join();
  EXPECT_EQ(said,
            L"Too many files to hand to the running Sealdoor window at once. Give fewer files at a time, or the folder "
            L"that holds them, or use sealdoor-cli.");
}

// A message of any size leaves the running program as it was: up to the
// hand-over's bound it reaches our checks (a malformed one is answered
// FALSE), and past what the system can deliver it is lost, never the
// program. Under Wine the data of a sent message is copied onto the
// receiving thread's stack, and a failure there used to end the message
// loop: the program ended on any WM_COPYDATA of 2 MiB or more.
TEST(Handover, TheRunningProgramOutlivesMessagesOfAnySize) {
  ASSERT_TRUE(SingleInstance().First()) << "another copy runs in this session";
  std::wstring command = L"\"" + AppPath() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  HWND window = nullptr;
  PumpUntil([&] {
    for (HWND w = nullptr; (w = ::FindWindowExW(HWND_MESSAGE, w, kHandoverClass, nullptr)) != nullptr;) {
      DWORD pid = 0;
      ::GetWindowThreadProcessId(w, &pid);
      if (pid == pi.dwProcessId) window = w;
    }
    return window != nullptr;
  });
  ASSERT_NE(window, nullptr) << "the program never listened";
  HWND sender = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  // Sends `bytes` of data; the answer, or nothing when none came.
  auto send = [&](const void* data, std::size_t bytes, UINT ms) -> std::optional<LRESULT> {
    COPYDATASTRUCT cds{kHandoverTag, static_cast<DWORD>(bytes), const_cast<void*>(data)};
    DWORD_PTR answer = 0;
    if (!::SendMessageTimeoutW(window, WM_COPYDATA, reinterpret_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&cds),
                               SMTO_NORMAL, ms, &answer))
      return std::nullopt;
    return static_cast<LRESULT>(answer);
  };
  auto running = [&] { return ::WaitForSingleObject(pi.hProcess, 0) == WAIT_TIMEOUT; };
  const std::vector<wchar_t> noise(24u << 20, L'x');  // not a message of ours, whatever its size
  for (const std::size_t bytes : {std::size_t{2} << 20, kMaxMessageBytes}) {
    EXPECT_EQ(send(noise.data(), bytes, 30000), std::optional<LRESULT>(FALSE)) << bytes << " bytes reach the checks";
    EXPECT_TRUE(running()) << "after " << bytes << " bytes";
  }
  // Far past the bound: refused (Windows) or lost on the way (Wine).
  EXPECT_NE(send(noise.data(), noise.size() * sizeof(wchar_t), 3000), std::optional<LRESULT>(TRUE));
  EXPECT_TRUE(running()) << "after " << (noise.size() * sizeof(wchar_t)) << " bytes";
  // And it still takes a launch of its own kind.
  const std::string utf8 = EncodeArrival({std::nullopt, {}, 1});
  const std::wstring good(utf8.begin(), utf8.end());  // ASCII
  EXPECT_EQ(send(good.data(), good.size() * sizeof(wchar_t), 30000), std::optional<LRESULT>(TRUE));
  ::DestroyWindow(sender);
  ::TerminateProcess(pi.hProcess, 0);
  ::WaitForSingleObject(pi.hProcess, 10000);
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(pi.hThread);
}

}  // namespace
}  // namespace sealdoor::app
