#include "long_path.h"

#include <vector>

namespace sealdoor::win32 {
namespace {

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

// What the system makes of a path that holds no name of the user's ("."
// for the current folder, "\" for its drive's root, "X:" for a drive's
// current folder): a base the user's names are then added to as they are.
std::expected<std::wstring, DWORD> SystemFull(const wchar_t* given) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetFullPathNameW(given, static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n == 0) return std::unexpected(::GetLastError());
    if (n < full.size()) {
      full.resize(n);
      return DisplayPath(full);
    }
    full.resize(n + 1);
  }
}

// An absolute path in the usual form ("X:\..." or "\\server\share\..."),
// "." and ".." followed lexically, as the system follows them, and every
// other name kept.
std::expected<std::wstring, DWORD> Resolved(const std::wstring& absolute) {
  std::wstring root;
  std::size_t at = 0;
  if (absolute.size() >= 2 && IsSeparator(absolute[0]) && IsSeparator(absolute[1])) {
    // \\server\share: both parts belong to the root.
    std::size_t end = 2;
    for (int part = 0; part < 2; ++part) {
      const std::size_t start = end;
      while (end < absolute.size() && !IsSeparator(absolute[end])) ++end;
      if (end == start) return std::unexpected(DWORD{ERROR_BAD_PATHNAME});
      if (part == 0) ++end;
    }
    root = L"\\\\" + absolute.substr(2, end - 2);
    for (auto& c : root)
      if (c == L'/') c = L'\\';
    at = end;
  } else if (absolute.size() >= 2 && IsDriveLetter(absolute[0]) && absolute[1] == L':') {
    root = absolute.substr(0, 2);
    at = 2;
  } else {
    return std::unexpected(DWORD{ERROR_BAD_PATHNAME});
  }
  std::vector<std::wstring> names;
  while (at < absolute.size()) {
    while (at < absolute.size() && IsSeparator(absolute[at])) ++at;
    std::size_t end = at;
    while (end < absolute.size() && !IsSeparator(absolute[end])) ++end;
    const std::wstring name = absolute.substr(at, end - at);
    at = end;
    if (name.empty() || name == L".") continue;
    if (name == L"..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.push_back(name);
  }
  std::wstring out = root;
  for (const auto& name : names) out += L"\\" + name;
  if (names.empty()) out += L"\\";
  return out;
}

}  // namespace

std::expected<std::wstring, DWORD> FullPath(const std::filesystem::path& path) {
  const std::wstring& given = path.native();
  if (given.starts_with(L"\\\\?\\")) return DisplayPath(given);
  if (given.starts_with(L"\\\\.\\")) return given;  // a device
  if (given.size() >= 2 && IsSeparator(given[0]) && IsSeparator(given[1])) return Resolved(given);
  if (given.size() >= 2 && IsDriveLetter(given[0]) && given[1] == L':') {
    if (given.size() >= 3 && IsSeparator(given[2])) return Resolved(given);
    // "X:name": from that drive's current folder.
    const std::wstring drive = given.substr(0, 2);
    auto base = SystemFull(drive.c_str());
    if (!base) return base;
    return Resolved(*base + L"\\" + given.substr(2));
  }
  // "\name": from the root of the current folder's drive; "name": from the
  // current folder.
  const bool rooted = !given.empty() && IsSeparator(given[0]);
  auto base = SystemFull(rooted ? L"\\" : L".");
  if (!base) return base;
  return Resolved(*base + L"\\" + given);
}

std::expected<std::wstring, DWORD> ApiPath(const std::filesystem::path& path) {
  const std::wstring& given = path.native();
  if (given.starts_with(L"\\\\?\\")) return given;
  auto full = FullPath(path);
  if (!full) return full;
  if (full->starts_with(L"\\\\.\\")) return full;  // a device: never a file to rewrite; the caller refuses it
  if (full->starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + full->substr(2);
  return L"\\\\?\\" + *full;
}

std::wstring DisplayPath(std::wstring_view api) {
  if (api.starts_with(L"\\\\?\\UNC\\")) return L"\\\\" + std::wstring(api.substr(8));
  if (api.starts_with(L"\\\\?\\")) return std::wstring(api.substr(4));
  return std::wstring(api);
}

}  // namespace sealdoor::win32
