#pragma once
// A file class of the test's own, registered for the test's life: an
// extension, its class, and the class's open command. Written where a user
// registers one, HKCU\Software\Classes, which HKEY_CLASSES_ROOT merges on
// Windows; Wine 8 does not merge it, and there it goes straight into
// HKEY_CLASSES_ROOT as well.

#include <string>
#include <vector>

#include "engine/win32/windows_h.h"

namespace sealdoor::test {

class RegisteredClass {
 public:
  // `type`: how the command is stored, REG_SZ or REG_EXPAND_SZ.
  RegisteredClass(const std::wstring& extension, const std::wstring& fileClass, const std::wstring& command,
                  DWORD type = REG_SZ) {
    Put(extension, fileClass, REG_SZ);
    Put(fileClass + L"\\shell\\open\\command", command, type);
  }
  ~RegisteredClass() {
    for (auto it = written_.rbegin(); it != written_.rend(); ++it) ::RegDeleteTreeW(it->first, it->second.c_str());
  }
  RegisteredClass(const RegisteredClass&) = delete;
  RegisteredClass& operator=(const RegisteredClass&) = delete;

 private:
  void Put(const std::wstring& key, const std::wstring& value, DWORD type) {
    Set(HKEY_CURRENT_USER, L"Software\\Classes\\" + key, value, type);
    HKEY seen = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &seen) == ERROR_SUCCESS) {
      ::RegCloseKey(seen);
      return;
    }
    Set(HKEY_CLASSES_ROOT, key, value, type);
  }
  void Set(HKEY root, const std::wstring& key, const std::wstring& value, DWORD type) {
    HKEY k = nullptr;
    if (::RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &k, nullptr) != ERROR_SUCCESS) return;
    ::RegSetValueExW(k, nullptr, 0, type, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(k);
    // The top key of what was made, to remove it again.
    const std::wstring top = key.substr(0, key.find(L'\\', root == HKEY_CURRENT_USER ? 17 : 0));
    written_.emplace_back(root, top);
  }
  std::vector<std::pair<HKEY, std::wstring>> written_;
};

}  // namespace sealdoor::test
