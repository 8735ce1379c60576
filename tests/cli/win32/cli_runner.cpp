#include "cli_runner_win32.h"

#include "engine/win32/windows_h.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/win32/wide.h"
#include "support/win32/beside_test.h"

namespace sealdoor::test {
namespace {

// sealdoor-cli.exe beside this test's own folder: build/cli next to build/tests.
std::wstring CliPath() { return test::BesideThisTest(L"../cli/sealdoor-cli.exe").wstring(); }

// One argument as the C runtime's command line parser reads it back.
std::wstring Quote(const std::wstring& arg) {
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

std::mutex gRunningMutex;
std::vector<HANDLE> gRunning;

// Whatever waits in the pipe now, without waiting for more; false once it
// is closed at the other end.
bool TakeAvailable(HANDLE h, std::string& out) {
  DWORD available = 0;
  if (!::PeekNamedPipe(h, nullptr, 0, nullptr, &available, nullptr)) return false;
  while (available > 0) {
    char buf[4096];
    DWORD n = 0;
    if (!::ReadFile(h, buf, std::min<DWORD>(available, sizeof buf), &n, nullptr) || n == 0) return false;
    out.append(buf, n);
    available -= n;
  }
  return true;
}

}  // namespace

CliResult RunCli(const std::vector<std::string>& args, const std::string& input,
                 const std::filesystem::path& folder, std::optional<std::chrono::microseconds> interruptAfter) {
  return RunProgram(CliPath(), args, input, folder, interruptAfter);
}

CliResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                     const std::string& input, const std::filesystem::path& folder,
                     std::optional<std::chrono::microseconds> interruptAfter) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE inRead, inWrite, outRead, outWrite, errRead, errWrite;
  ::CreatePipe(&inRead, &inWrite, &inherit, 0);
  ::CreatePipe(&outRead, &outWrite, &inherit, 0);
  ::CreatePipe(&errRead, &errWrite, &inherit, 0);
  for (HANDLE ours : {inWrite, outRead, errRead}) ::SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0);
  std::wstring command = Quote(program.wstring());
  for (const auto& a : args) command += L" " + Quote(win32::Widen(a));
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = inRead;
  si.hStdOutput = outWrite;
  si.hStdError = errWrite;
  PROCESS_INFORMATION pi{};
  CliResult r;
  const std::wstring cwd = folder.wstring();
  // An interrupt reaches only a process group on the console it is sent on.
  const DWORD how = interruptAfter ? CREATE_NEW_PROCESS_GROUP : DETACHED_PROCESS;
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, how, nullptr,
                        cwd.empty() ? nullptr : cwd.c_str(), &si, &pi))
    return r;
  for (HANDLE theirs : {inRead, outWrite, errWrite}) ::CloseHandle(theirs);
  {
    const std::lock_guard lock(gRunningMutex);
    gRunning.push_back(pi.hProcess);
  }
  DWORD n = 0;
  ::WriteFile(inWrite, input.data(), static_cast<DWORD>(input.size()), &n, nullptr);
  ::CloseHandle(inWrite);
  if (interruptAfter) {
    std::this_thread::sleep_for(*interruptAfter);
    r.interrupted = ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, pi.dwProcessId) != 0;
  }
  // Until the process has ended and its pipes are empty: a console host
  // that Wine starts for it may keep the pipes open after a process that
  // was stopped at once.
  for (;;) {
    const bool ended = ::WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0;
    const bool outOpen = TakeAvailable(outRead, r.out);
    const bool errOpen = TakeAvailable(errRead, r.err);
    if (ended || (!outOpen && !errOpen)) {
      ::WaitForSingleObject(pi.hProcess, INFINITE);
      TakeAvailable(outRead, r.out);
      TakeAvailable(errRead, r.err);
      break;
    }
  }
  {
    const std::lock_guard lock(gRunningMutex);
    std::erase(gRunning, pi.hProcess);
  }
  DWORD code = 0;
  ::GetExitCodeProcess(pi.hProcess, &code);
  r.exitCode = static_cast<int>(code);
  for (HANDLE h : {pi.hProcess, pi.hThread, outRead, errRead}) ::CloseHandle(h);
  return r;
}

bool KillCliProcesses() {
  const std::lock_guard lock(gRunningMutex);
  for (HANDLE p : gRunning) ::TerminateProcess(p, 1);
  return !gRunning.empty();
}

}  // namespace sealdoor::test
