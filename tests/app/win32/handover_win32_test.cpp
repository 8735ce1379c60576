// Files from a second sealdoor.exe: it hands them to the window of the
// first copy (here the test's own, wired as the program wires its own)
// through WM_COPYDATA and ends. What is not a well-formed message of our
// own user is refused and changes nothing.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "../../engine/test_support.h"
#include "../../ui/service_fakes.h"
#include "app/handover_message.h"
#include "app/single_instance.h"
#include "app/win32/handover.h"
#include "engine/format.h"
#include "ui/form4.h"
#include "ui/win32/win32_form4.h"

namespace sealdoor::app {
namespace {

namespace fs = std::filesystem;

std::wstring AppPath() {
  wchar_t self[MAX_PATH];
  ::GetModuleFileNameW(nullptr, self, MAX_PATH);
  return (fs::path(self).parent_path() / SEALDOOR_APP_FROM_TEST).lexically_normal().wstring();
}

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
  std::wstring command = L"\"" + AppPath() + L"\" --lock \"" + (dir / "a.txt").wstring() + L"\" \"" +
                         (dir / "b b.txt").wstring() + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(::CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  EXPECT_TRUE(PumpUntil([&] { return ::WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0; }));
  DWORD code = 1;
  ::GetExitCodeProcess(pi.hProcess, &code);
  EXPECT_EQ(code, 0u);
  ::CloseHandle(pi.hProcess);
  ::CloseHandle(pi.hThread);
  EXPECT_TRUE(PumpUntil([&] { return !first.messages.shown.empty(); }));
  EXPECT_EQ(first.messages.Texts(), std::vector<std::string>{"Files locked !"});
  EXPECT_TRUE(IsLocked(dir / "a.txt") && IsLocked(dir / "b b.txt"));
  EXPECT_TRUE(first.dialog.asked.empty());
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
  std::wstring unpaired = good;
  unpaired.insert(unpaired.size() - 1, 1, static_cast<wchar_t>(0xD800));  // a lone surrogate in the path
  const std::wstring foreign = L"hello world";
  EXPECT_EQ(send(sender, kHandoverTag + 1, good.data(), size), FALSE);  // another program's tag
  EXPECT_EQ(send(sender, kHandoverTag, good.data(), size - 1), FALSE);  // not whole UTF-16
  EXPECT_EQ(send(sender, kHandoverTag, good.data(), static_cast<DWORD>(kMaxMessageBytes + 2)), FALSE);  // oversized
  EXPECT_EQ(send(sender, kHandoverTag, nullptr, 0), FALSE);
  EXPECT_EQ(send(sender, kHandoverTag, unpaired.data(), static_cast<DWORD>(unpaired.size() * sizeof(wchar_t))), FALSE);
  EXPECT_EQ(send(sender, kHandoverTag, foreign.data(), static_cast<DWORD>(foreign.size() * sizeof(wchar_t))), FALSE);
  EXPECT_EQ(send(nullptr, kHandoverTag, good.data(), size), FALSE);  // from nobody known
  PumpUntil([] { return false; }, 700);
  EXPECT_TRUE(first.form.PendingFiles().empty());
  EXPECT_TRUE(first.messages.shown.empty());
  EXPECT_EQ(send(sender, kHandoverTag, good.data(), size), TRUE);
  EXPECT_TRUE(PumpUntil([&] { return first.form.PendingFiles().size() == 1; }));
  ::DestroyWindow(sender);
}

}  // namespace
}  // namespace sealdoor::app
