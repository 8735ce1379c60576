// The association store of Windows: the file classes below HKEY_CLASSES_ROOT
// (which merges the machine's and the user's own, HKCU\Software\Classes).

#include "engine/win32/wide.h"
#include "engine/win32/windows_h.h"
#include "shell/open_command.h"

namespace sealdoor::shell {
namespace {

// The default value of `subkey` below the file-class root, read into a
// buffer of 80 characters filled with NULs: the text up to its first NUL.
// A value that does not fit reads as missing.
std::string DefaultValue(const std::wstring& subkey) {
  HKEY root = nullptr;
  if (::RegOpenKeyW(HKEY_CLASSES_ROOT, L"", &root) != ERROR_SUCCESS) return {};
  wchar_t buffer[80] = {};
  LONG length = sizeof buffer;
  const LONG status = ::RegQueryValueW(root, subkey.c_str(), buffer, &length);
  ::RegCloseKey(root);
  if (status != ERROR_SUCCESS) return {};
  buffer[79] = L'\0';
  return win32::Narrow(buffer);
}

}  // namespace

std::string ClassForExtension(const std::string& extension) { return DefaultValue(win32::Widen(extension)); }

std::string CommandForClass(const std::string& fileClass) {
  // An empty class asks for "\shell\open\command" right below the root, as
  // the lookup always did.
  return DefaultValue(win32::Widen(fileClass) + L"\\shell\\open\\command");
}

}  // namespace sealdoor::shell
