#include "cli/editor.h"

#include <cstdlib>

#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"

namespace sealdoor::cli {

EditorEnd RunEditor(const std::filesystem::path& file) {
  EditorEnd end;
  std::wstring command;
  for (const wchar_t* name : {L"VISUAL", L"EDITOR"}) {
    const wchar_t* value = ::_wgetenv(name);
    if (value && *value) {
      command = value;
      break;
    }
  }
  if (command.empty()) command = L"notepad.exe";
  end.command = win32::Narrow(command);
  // No name on Windows holds a quote: quoted whole, the path is one argument.
  std::wstring line = command + L" \"" + file.wstring() + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
    end.why = "error " + std::to_string(::GetLastError());
    return end;
  }
  end.started = true;
  ::CloseHandle(process.hThread);
  ::WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(process.hProcess, &code);
  ::CloseHandle(process.hProcess);
  end.status = static_cast<int>(code);
  return end;
}

}  // namespace sealdoor::cli
