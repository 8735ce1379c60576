#include "create_process_starter.h"

#include <algorithm>
#include <cctype>
#include <memory>

#include "engine/system_error.h"
#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
// After windows.h, which it needs.
#include <shellapi.h>

namespace sealdoor::shell {

bool StartsItself(std::string_view extension) {
  return extension == ".exe" || extension == ".com" || extension == ".bat" || extension == ".pif";
}
namespace {

class Process final : public StartedProgram {
 public:
  explicit Process(HANDLE process) : process_(process) {}
  ~Process() override { ::CloseHandle(process_); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;
  bool Ended() override { return ::WaitForSingleObject(process_, 0) != WAIT_TIMEOUT; }

 private:
  HANDLE process_;
};

std::expected<Started, std::string> Run(std::wstring commandLine) {
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return std::unexpected(SystemErrorText(static_cast<int>(::GetLastError())));
  ::CloseHandle(pi.hThread);
  return std::make_shared<Process>(pi.hProcess);
}

bool EndsWith(std::string text, const std::string& tail) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text.ends_with(tail);
}

// Whether `text` ends inside a double-quoted part.
bool QuoteOpen(const std::string& text) { return std::count(text.begin(), text.end(), '"') % 2 == 1; }

}  // namespace

std::string CommandLineFor(const std::string& prefix, const std::string& path) {
  if (QuoteOpen(prefix)) return prefix + path;
  return prefix + "\"" + path + "\"";
}

std::expected<Started, std::string> CreateProcessStarter::StartFile(const std::string& path) {
  if (EndsWith(path, ".bat")) return Run(L"cmd.exe /c \"\"" + win32::Widen(path) + L"\"\"");
  if (EndsWith(path, ".pif")) {
    // A program information file: only the shell knows how to start what it names.
    const std::wstring file = win32::Widen(path);
    const auto r = reinterpret_cast<INT_PTR>(::ShellExecuteW(nullptr, L"open", file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (r <= 32) return std::unexpected(SystemErrorText(static_cast<int>(::GetLastError())));
    return Started{};  // the shell gives nothing to watch it by
  }
  return Run(L"\"" + win32::Widen(path) + L"\"");
}

std::expected<Started, std::string> CreateProcessStarter::StartCommand(const std::string& prefix, const std::string& path) {
  return Run(win32::Widen(CommandLineFor(prefix, path)));
}

}  // namespace sealdoor::shell
