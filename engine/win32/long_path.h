#pragma once
// Paths of any length, and names as they are. The system's calls take a
// path of more than 260 characters only in its extended form
// ("\\?\C:\...", "\\?\UNC\server\..."), which also passes every name
// through as it is: the usual form drops a name's trailing dots and spaces
// and takes "nul", "con" and the like for devices, so "x." would reach
// "x". Users read the usual form.

#include <expected>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/win32/windows_h.h"

namespace sealdoor::win32 {

// `path`, absolute, in the extended form: a relative path is taken from the
// current folder, "." and ".." are followed and "/" is read as "\", and
// every name is kept exactly as given. A path already in that form stays
// as it is; so does a device's ("\\.\..."), which the caller refuses.
[[nodiscard]] std::expected<std::wstring, DWORD> ApiPath(const std::filesystem::path& path);

// The same in the usual form, for users and for other programs.
[[nodiscard]] std::expected<std::wstring, DWORD> FullPath(const std::filesystem::path& path);

// The usual form of an extended path.
[[nodiscard]] std::wstring DisplayPath(std::wstring_view api);

}  // namespace sealdoor::win32
