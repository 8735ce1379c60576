#include "engine/win32/windows_h.h"

#include <random>
#include <string>
#include <thread>

#include "engine/folder_journal.h"
#include "unique_handle.h"

namespace sealdoor {
namespace {

SipKey FreshKey() {
  SipKey key{};
  std::random_device rd;
  for (auto& b : key) b = static_cast<std::uint8_t>(rd());
  return key;
}

// %LOCALAPPDATA%\Sealdoor: the user's own, on this machine only.
std::wstring KeyFolder() {
  wchar_t buffer[32768];
  const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, 32768);
  if (n == 0 || n >= 32768) return {};
  return std::wstring(buffer, n) + L"\\Sealdoor";
}

SipKey LoadOrMakeKey() {
  const std::wstring folder = KeyFolder();
  if (folder.empty() || (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS))
    return FreshKey();
  const std::wstring file = folder + L"\\journal-key";
  for (int attempt = 0; attempt < 50; ++attempt) {
    const win32::UniqueHandle in(::CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (in.Valid()) {
      SipKey key{};
      DWORD got = 0;
      if (!::ReadFile(in.Get(), key.data(), static_cast<DWORD>(key.size()), &got, nullptr)) return FreshKey();
      if (got == key.size()) return key;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));  // another run is writing it
      continue;
    }
    if (::GetLastError() != ERROR_FILE_NOT_FOUND) return FreshKey();
    const SipKey fresh = FreshKey();
    const win32::UniqueHandle out(
        ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid()) {
      if (::GetLastError() == ERROR_FILE_EXISTS) continue;  // made by another run meanwhile
      return FreshKey();
    }
    DWORD written = 0;
    if (::WriteFile(out.Get(), fresh.data(), static_cast<DWORD>(fresh.size()), &written, nullptr) &&
        written == fresh.size() && ::FlushFileBuffers(out.Get()))
      return fresh;
    ::DeleteFileW(file.c_str());
    return FreshKey();
  }
  return FreshKey();
}

}  // namespace

const SipKey& JournalKey() {
  static const SipKey key = LoadOrMakeKey();
  return key;
}

}  // namespace sealdoor
