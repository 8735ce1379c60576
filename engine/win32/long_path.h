#pragma once
// Paths of any length. The system's calls take a path of more than 260
// characters only in its extended form ("\\?\C:\...", "\\?\UNC\server\..."),
// which also passes every name through as it is; users read the usual form.

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/win32/windows_h.h"

namespace sealdoor::win32 {

// `path`, absolute, in the extended form (a relative path is taken from the
// current folder; a path already in that form stays as it is).
[[nodiscard]] std::expected<std::wstring, DWORD> ApiPath(const std::filesystem::path& path);

// The usual form of an extended path.
[[nodiscard]] std::wstring DisplayPath(std::wstring_view api);

}  // namespace sealdoor::win32
