#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
#include "shell/system_folders.h"

namespace sealdoor::shell {
namespace {

// A buffer of 145 characters filled with NULs, as the folders always were
// fetched: a path that does not fit reads as empty.
template <typename Fetch>
std::string Folder(Fetch fetch) {
  wchar_t buffer[145] = {};
  const DWORD n = fetch(buffer, 145);
  if (n == 0 || n >= 145) return {};
  return win32::Narrow(buffer);
}

}  // namespace

std::string SystemRootFolder() {
  return Folder([](wchar_t* b, DWORD size) { return static_cast<DWORD>(::GetWindowsDirectoryW(b, size)); });
}

std::string InitialDialogFolder() {
  // "C:\" where Windows lives on C:, else the root of the drive it lives on.
  wchar_t drive[8] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"SystemDrive", drive, 8);
  if (n == 0 || n >= 8) return "C:\\";
  return win32::Narrow(drive) + "\\";
}

}  // namespace sealdoor::shell
