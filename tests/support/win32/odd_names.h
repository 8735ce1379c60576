#pragma once
// Files whose names Windows' usual path rules would change ("x.", "x ",
// "nul", a lone surrogate), made, read and removed by the names as they
// are, through the extended form of their paths.

#include "engine/win32/windows_h.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sealdoor::test {

namespace fs = std::filesystem;

// A file's path in the form that passes every name through as it is.
inline std::wstring Extended(const fs::path& folder, const std::wstring& name) {
  return L"\\\\?\\" + folder.wstring() + L"\\" + name;
}

inline bool WriteAs(const std::wstring& extended, const std::vector<std::uint8_t>& bytes) {
  const HANDLE h = ::CreateFileW(extended.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  const bool ok = ::WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) && n == bytes.size();
  ::CloseHandle(h);
  return ok;
}

inline std::vector<std::uint8_t> ReadAs(const std::wstring& extended) {
  const HANDLE h = ::CreateFileW(extended.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE) return {};
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[65536];
  DWORD n = 0;
  while (::ReadFile(h, buffer, sizeof buffer, &n, nullptr) && n > 0) bytes.insert(bytes.end(), buffer, buffer + n);
  ::CloseHandle(h);
  return bytes;
}

// Every name in a folder, as the system lists it.
inline std::vector<std::wstring> Listed(const fs::path& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const HANDLE find = ::FindFirstFileW((L"\\\\?\\" + folder.wstring() + L"\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

// Removes what a folder holds by the names as listed, before the scratch
// folder goes: the usual path rules its removal follows would take "x."
// for "x" and never reach it.
class Tidy {
 public:
  explicit Tidy(fs::path folder) : folder_(std::move(folder)) {}
  ~Tidy() { Empty(folder_); }
  Tidy(const Tidy&) = delete;
  Tidy& operator=(const Tidy&) = delete;

 private:
  static void Empty(const fs::path& folder) {
    for (const auto& name : Listed(folder)) {
      const std::wstring path = L"\\\\?\\" + folder.wstring() + L"\\" + name;
      const DWORD attributes = ::GetFileAttributesW(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        Empty(folder / name);
        ::RemoveDirectoryW(path.c_str());
      } else {
        ::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileW(path.c_str());
      }
    }
  }
  fs::path folder_;
};

}  // namespace sealdoor::test
