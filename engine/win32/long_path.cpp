#include "long_path.h"

namespace sealdoor::win32 {

std::expected<std::wstring, DWORD> ApiPath(const std::filesystem::path& path) {
  const std::wstring& given = path.native();
  if (given.starts_with(L"\\\\?\\")) return given;
  std::wstring full(given.size() + MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return std::unexpected(::GetLastError());
    if (n < full.size()) {
      full.resize(n);
      break;
    }
    full.resize(n + 1);
  }
  if (full.starts_with(L"\\\\.\\")) return full;  // a device: never a file to rewrite; the caller refuses it
  if (full.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::wstring DisplayPath(std::wstring_view api) {
  if (api.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + std::wstring(api.substr(8));
  if (api.starts_with(L"\\\\?\\")) return std::wstring(api.substr(4));
  return std::wstring(api);
}

}  // namespace sealdoor::win32
