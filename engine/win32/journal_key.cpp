#include "engine/win32/windows_h.h"

#include <string>

#include "engine/key_file.h"
#include "unique_handle.h"

namespace sealdoor {
namespace {

// %LOCALAPPDATA%\Sealdoor: the user's own, on this machine only.
std::wstring KeyFolder() {
  wchar_t buffer[32768];
  const DWORD n = ::GetEnvironmentVariableW(L"LOCALAPPDATA", buffer, 32768);
  if (n == 0 || n >= 32768) return {};
  return std::wstring(buffer, n) + L"\\Sealdoor";
}

class Win32KeyFile final : public KeyFile {
 public:
  explicit Win32KeyFile(std::wstring path) : path_(std::move(path)) {}

  Read Load(SipKey& key) override {
    const win32::UniqueHandle in(::CreateFileW(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                               FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!in.Valid()) return ::GetLastError() == ERROR_FILE_NOT_FOUND ? Read::Missing : Read::Refused;
    DWORD got = 0;
    if (!::ReadFile(in.Get(), key.data(), static_cast<DWORD>(key.size()), &got, nullptr)) return Read::Refused;
    return got == key.size() ? Read::Got : Read::Partial;
  }

  Made Create(const SipKey& key) override {
    const win32::UniqueHandle out(
        ::CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.Valid()) return ::GetLastError() == ERROR_FILE_EXISTS ? Made::Exists : Made::Failed;
    DWORD written = 0;
    if (::WriteFile(out.Get(), key.data(), static_cast<DWORD>(key.size()), &written, nullptr) &&
        written == key.size() && ::FlushFileBuffers(out.Get()))
      return Made::Made;
    ::DeleteFileW(path_.c_str());
    return Made::Failed;
  }

 private:
  std::wstring path_;
};

}  // namespace

std::unique_ptr<KeyFile> OpenKeyFile() {
  const std::wstring folder = KeyFolder();
  if (folder.empty() || (!::CreateDirectoryW(folder.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS))
    return nullptr;
  return std::make_unique<Win32KeyFile>(folder + L"\\journal-key");
}

}  // namespace sealdoor
