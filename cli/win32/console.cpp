#include "cli/console.h"

#include "engine/win32/windows_h.h"

#include <atomic>
#include <string>

#include "engine/process_guard.h"
#include "engine/win32/wide.h"

namespace sealdoor::cli {
namespace {

HANDLE Handle(Stream s) { return ::GetStdHandle(s == Stream::Out ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE); }

bool IsConsole(HANDLE h) {
  DWORD mode = 0;
  return h != INVALID_HANDLE_VALUE && h != nullptr && ::GetConsoleMode(h, &mode) != 0;
}

bool gFailed[2] = {false, false};

// The console's input mode while a password is asked for, to put back if the
// user presses Ctrl-C.
HANDLE gInput = INVALID_HANDLE_VALUE;
DWORD gSavedMode = 0;

void RestoreConsole() noexcept {
  if (gInput != INVALID_HANDLE_VALUE) ::SetConsoleMode(gInput, gSavedMode);
}

}  // namespace

bool IsTerminal(Stream stream) { return IsConsole(Handle(stream)); }

std::size_t TerminalWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (::GetConsoleScreenBufferInfo(Handle(Stream::Err), &info))
    return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
  return 80;
}

bool Write(Stream stream, std::string_view text) {
  const HANDLE h = Handle(stream);
  bool ok = true;
  if (IsConsole(h)) {
    // The console shows every script's letters only when given UTF-16.
    const std::wstring wide = win32::Widen(text);
    DWORD n = 0;
    ok = ::WriteConsoleW(h, wide.data(), static_cast<DWORD>(wide.size()), &n, nullptr) != 0;
  } else {
    DWORD n = 0;
    ok = ::WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &n, nullptr) != 0 && n == text.size();
  }
  if (!ok) gFailed[static_cast<int>(stream)] = true;
  return ok;
}

bool Flush(Stream stream) { return !gFailed[static_cast<int>(stream)]; }

namespace {

std::optional<std::string> Ask(std::string_view prompt, bool echo) {
  const HANDLE in = ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  const HANDLE out = ::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, 0, nullptr);
  if (in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE) {
    if (in != INVALID_HANDLE_VALUE) ::CloseHandle(in);
    if (out != INVALID_HANDLE_VALUE) ::CloseHandle(out);
    return std::nullopt;
  }
  ::GetConsoleMode(in, &gSavedMode);
  gInput = in;
  SetInterruptCleanup(&RestoreConsole);
  const DWORD lineMode = gSavedMode | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT;
  ::SetConsoleMode(in, echo ? lineMode | ENABLE_ECHO_INPUT : lineMode & ~DWORD{ENABLE_ECHO_INPUT});
  const std::wstring wide = win32::Widen(prompt);
  DWORD n = 0;
  ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &n, nullptr);
  std::wstring typed;
  typed.reserve(256);
  wchar_t c = 0;
  while (::ReadConsoleW(in, &c, 1, &n, nullptr) && n == 1 && c != L'\n') {
    if (c != L'\r' && typed.size() < typed.capacity()) typed += c;
  }
  ::SetConsoleMode(in, gSavedMode);
  SetInterruptCleanup(nullptr);
  gInput = INVALID_HANDLE_VALUE;
  if (!echo) ::WriteConsoleW(out, L"\r\n", 2, &n, nullptr);
  ::CloseHandle(in);
  ::CloseHandle(out);
  std::string answer = win32::Narrow(typed);
  SecureZeroMemory(typed.data(), typed.capacity() * sizeof(wchar_t));
  return answer;
}

}  // namespace

std::optional<std::string> AskPassword(std::string_view prompt) { return Ask(prompt, false); }

std::optional<std::string> AskAnswer(std::string_view prompt) { return Ask(prompt, true); }

std::string ReadPasswordLine() {
  const HANDLE in = ::GetStdHandle(STD_INPUT_HANDLE);
  std::string s;
  s.reserve(256);
  char c = 0;
  DWORD n = 0;
  // A byte at a time, so nothing after the line is taken from the input.
  while (::ReadFile(in, &c, 1, &n, nullptr) && n == 1 && c != '\n')
    if (s.size() < s.capacity()) s += c;
  if (!s.empty() && s.back() == '\r') s.pop_back();
  return s;
}

std::optional<bool> CapsLockOn() { return (::GetKeyState(VK_CAPITAL) & 1) != 0; }

namespace {

std::atomic<bool> gInterrupted{false};

// Ctrl-C and Ctrl-Break during a batch: the first asks for the stop; the
// second goes on to the handlers there were before, which end the process.
BOOL WINAPI OnInterruptDuringBatch(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  return gInterrupted.exchange(true) ? FALSE : TRUE;
}

}  // namespace

void StopOnInterrupt(bool on) { ::SetConsoleCtrlHandler(OnInterruptDuringBatch, on ? TRUE : FALSE); }

bool Interrupted() noexcept { return gInterrupted.load(); }

namespace {

std::atomic<int> gHeld{0};

BOOL WINAPI OnHeldInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  int none = 0;
  gHeld.compare_exchange_strong(none, 2);  // as SIGINT's number, for one exit status everywhere
  return TRUE;
}

}  // namespace

void HoldInterrupts(bool on) { ::SetConsoleCtrlHandler(OnHeldInterrupt, on ? TRUE : FALSE); }

int HeldInterrupt() noexcept { return gHeld.load(); }

}  // namespace sealdoor::cli
