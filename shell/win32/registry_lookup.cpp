// The association store of Windows: the file classes below HKEY_CLASSES_ROOT
// (which merges the machine's and the user's own, HKCU\Software\Classes).

#include <vector>

#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
#include "shell/open_command.h"

namespace sealdoor::shell {
namespace {

// The default text value of `subkey` below the file-class root, whole: the
// registry is asked for the room it needs (a program below "C:\Program
// Files\..." has a longer command than any fixed buffer foresees), and a
// value written with environment variables (REG_EXPAND_SZ) has them
// expanded. Empty when the key or its value is missing or not text.
std::string DefaultValue(const std::wstring& subkey) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, subkey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  std::vector<wchar_t> value;
  DWORD type = 0;
  LONG status = ERROR_MORE_DATA;
  // Again while the value grows between asking for its size and reading it.
  for (int tries = 0; tries < 4 && status == ERROR_MORE_DATA; ++tries) {
    DWORD bytes = 0;
    status = ::RegQueryValueExW(key, nullptr, nullptr, &type, nullptr, &bytes);
    if (status != ERROR_SUCCESS) break;
    value.assign(bytes / sizeof(wchar_t) + 1, L'\0');
    bytes = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    status = ::RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &bytes);
  }
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  // A stored text need not end with its NUL: the room made holds one more.
  std::wstring text(value.data());
  if (type == REG_EXPAND_SZ) {
    const DWORD needed = ::ExpandEnvironmentStringsW(text.c_str(), nullptr, 0);
    if (needed == 0) return {};
    std::wstring expanded(needed, L'\0');
    const DWORD written = ::ExpandEnvironmentStringsW(text.c_str(), expanded.data(), needed);
    if (written == 0 || written > needed) return {};
    expanded.resize(written - 1);
    text = std::move(expanded);
  }
  return win32::Narrow(text);
}

}  // namespace

std::string ClassForExtension(const std::string& extension) {
  return DefaultValue(win32::Widen(extension));
}

ClassCommand CommandForClass(const std::string& fileClass) {
  // An empty class asks for "\shell\open\command" right below the root, as
  // the lookup always did.
  return {DefaultValue(win32::Widen(fileClass) + L"\\shell\\open\\command")};
}

}  // namespace sealdoor::shell
