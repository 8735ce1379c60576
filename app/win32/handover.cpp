#include "handover.h"

#include <shellapi.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/handover_client.h"
#include "engine/path_text.h"
#include "engine/win32/long_path.h"
#include "engine/win32/unique_handle.h"
#include "engine/win32/wide.h"
#include "text/tr.h"

namespace sealdoor::app {
namespace {

using namespace std::chrono_literals;
constexpr UINT_PTR kTimer = 1;
constexpr auto kPatience = 10s;

// The user a window's process runs as is ours.
bool SameUser(HWND window) {
  DWORD pid = 0;
  if (!window || !::GetWindowThreadProcessId(window, &pid) || pid == 0) return false;
  auto userOf = [](HANDLE process) -> std::vector<unsigned char> {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
    const win32::UniqueHandle owned(token);
    DWORD size = 0;
    ::GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size);
    if (size == 0 || !::GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) return {};
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    const DWORD length = ::GetLengthSid(sid);
    const auto* bytes = static_cast<const unsigned char*>(sid);
    return {bytes, bytes + length};
  };
  const win32::UniqueHandle other(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!other.Valid()) return false;
  const auto theirs = userOf(other.Get());
  return !theirs.empty() && theirs == userOf(::GetCurrentProcess());
}

void Tell(const std::wstring& text) { ::MessageBoxW(nullptr, text.c_str(), L"Sealdoor", MB_OK | MB_ICONWARNING); }

std::uint64_t LaunchStamp() {
  FILETIME created{}, unused{};
  if (!::GetProcessTimes(::GetCurrentProcess(), &created, &unused, &unused, &unused)) return 0;
  return (static_cast<std::uint64_t>(created.dwHighDateTime) << 32) | created.dwLowDateTime;
}

}  // namespace

HandoverWindow::HandoverWindow(HINSTANCE instance, Front front, Files files)
    : desk_(std::move(front), std::move(files), [this](std::chrono::milliseconds wait) {
        ::SetTimer(window_, kTimer, static_cast<UINT>(std::max<long long>(USER_TIMER_MINIMUM, wait.count())), nullptr);
      }) {
  WNDCLASSEXW cls{};
  cls.cbSize = sizeof cls;
  cls.lpfnWndProc = Proc;
  cls.hInstance = instance;
  cls.lpszClassName = kHandoverClass;
  ::RegisterClassExW(&cls);
  window_ = ::CreateWindowExW(0, kHandoverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
}

HandoverWindow::~HandoverWindow() {
  if (window_) ::DestroyWindow(window_);
}

LRESULT CALLBACK HandoverWindow::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE)
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
  auto* self = reinterpret_cast<HandoverWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && msg == WM_COPYDATA)
    return self->OnCopyData(reinterpret_cast<HWND>(wp), reinterpret_cast<const COPYDATASTRUCT*>(lp));
  if (self && msg == WM_TIMER && wp == kTimer) {
    ::KillTimer(hwnd, kTimer);
    self->desk_.DeliverDue();
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT HandoverWindow::OnCopyData(HWND sender, const COPYDATASTRUCT* data) {
  if (!data || data->dwData != kHandoverTag || !data->lpData || data->cbData == 0 || data->cbData % 2 != 0 ||
      data->cbData > kMaxMessageBytes)
    return FALSE;
  if (!SameUser(sender)) return FALSE;
  // Names as Windows gives them: a lone surrogate stays one (wtf8.h).
  const std::string utf8 =
      win32::Narrow(std::wstring_view(static_cast<const wchar_t*>(data->lpData), data->cbData / sizeof(wchar_t)));
  auto arrival = DecodeArrival(utf8);
  if (!arrival) return FALSE;
  Accept(std::move(*arrival));
  return TRUE;
}

void HandoverWindow::Accept(Arrival arrival) { desk_.Accept(std::move(arrival)); }

void BringForward(HWND window) {
  if (::IsIconic(window)) ::ShowWindow(window, SW_RESTORE);
  ::SetForegroundWindow(window);
}

HandoverResult HandOver(const std::string&, const Arrival& arrival) {
  const std::wstring message = win32::Widen(EncodeArrival(arrival));
  if (message.size() * sizeof(wchar_t) > kMaxMessageBytes) return HandoverResult::TooLarge;
  // A window of our own, for the first copy to know who is asking.
  HWND self = ::CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  const auto until = std::chrono::steady_clock::now() + kPatience;
  bool taken = false;
  while (std::chrono::steady_clock::now() < until) {
    HWND first = ::FindWindowExW(HWND_MESSAGE, nullptr, kHandoverClass, nullptr);
    if (!first) {  // it holds its lock and may not have its window yet
      std::this_thread::sleep_for(50ms);
      continue;
    }
    if (!SameUser(first)) break;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(first, &pid);
    ::AllowSetForegroundWindow(pid);  // so it may come to the front
    COPYDATASTRUCT data{kHandoverTag, static_cast<DWORD>(message.size() * sizeof(wchar_t)),
                        const_cast<wchar_t*>(message.data())};
    DWORD_PTR answer = FALSE;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
    taken = ::SendMessageTimeoutW(first, WM_COPYDATA, reinterpret_cast<WPARAM>(self), reinterpret_cast<LPARAM>(&data),
                                  SMTO_ABORTIFHUNG, static_cast<UINT>(std::max<long long>(1, left.count())),
                                  &answer) != 0 &&
            answer == TRUE;
    break;
  }
  if (self) ::DestroyWindow(self);
  return taken ? HandoverResult::Taken : HandoverResult::NotTaken;
}

Launch ReadLaunch() {
  Launch out;
  int argc = 0;
  std::unique_ptr<LPWSTR, decltype(&::LocalFree)> argv(::CommandLineToArgvW(::GetCommandLineW(), &argc),
                                                       &::LocalFree);
  std::vector<std::string> args;
  for (int i = 1; argv && i < argc; ++i) args.push_back(win32::Narrow(argv.get()[i]));
  const auto parsed = ParseLaunchArgs(args);
  if (!parsed || parsed->addToThunar) {
    const std::string error = parsed ? text::Tr("--add-to-thunar is for Thunar, a Linux file manager") : parsed.error();
    Tell(win32::Widen("sealdoor: " + error + "\n\n" + LaunchUsage()));
    out.exitCode = 2;
    return out;
  }
  if (parsed->help || parsed->version) {
    ::MessageBoxW(nullptr, win32::Widen(parsed->help ? LaunchUsage() : kLaunchVersion).c_str(), L"Sealdoor",
                  MB_OK | MB_ICONINFORMATION);
    out.exitCode = 0;
    return out;
  }
  out.own.action = parsed->action;
  out.own.stamp = LaunchStamp();
  // Full paths: the running window has a working folder of its own.
  for (const auto& f : parsed->files) {
    // Each name as given: only "." and ".." are followed (long_path.h).
    const auto full = win32::FullPath(PathFromText(f));
    out.own.paths.push_back(full ? PathText(std::filesystem::path(*full)) : f);
  }
  return out;
}

int HandOverAndEnd(const Arrival& own) {
  switch (HandOver({}, own)) {
    case HandoverResult::Taken:
      return 0;
    case HandoverResult::TooLarge:
      Tell(win32::Widen(text::Tr("Too many files to hand to the running Sealdoor window at once. Give fewer files at "
                                 "a time, or the folder that holds them, or use sealdoor-cli.")));
      return 1;
    case HandoverResult::NotTaken:
      break;
  }
  if (own.paths.empty()) return 0;
  Tell(win32::Widen(text::Tr("The running Sealdoor window did not take the files; try again once it has finished.")));
  return 1;
}

}  // namespace sealdoor::app
