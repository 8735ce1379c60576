#include "engine/win32/windows_h.h"

#include "engine/system_error.h"
#include "wide.h"

namespace sealdoor {

std::string SystemErrorText(int code) {
  wchar_t* text = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n ? std::wstring(text, n) : L"Error " + std::to_wstring(code);
  if (text) ::LocalFree(text);
  // Windows ends its texts with a full stop and a line end; ours follow on.
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' ' ||
                              message.back() == L'.'))
    message.pop_back();
  return win32::Narrow(message);
}

ErrorClass ClassOf(int code) noexcept {
  switch (static_cast<DWORD>(code)) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ErrorClass::NoSpace;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD: return ErrorClass::NoPermission;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ErrorClass::NotFound;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return ErrorClass::Exists;
    case ERROR_WRITE_PROTECT: return ErrorClass::ReadOnly;
    default: return ErrorClass::Other;
  }
}

}  // namespace sealdoor
