#pragma once
// What a path names, looked at under the name exactly as given: on
// Windows a name's trailing dots and spaces are its own, and "x." is never
// taken for "x". A symbolic link on Linux is not followed; a junction on
// Windows is a folder. One implementation per system.

#include <expected>
#include <filesystem>
#include <system_error>

namespace sealdoor {

enum class PathKind {
  Folder,
  Other,  // a file, a link, anything else there
};

// Why nothing can be looked at under `path` when it cannot: a name that is
// not there is std::errc::no_such_file_or_directory on every system.
[[nodiscard]] std::expected<PathKind, std::error_code> KindOf(const std::filesystem::path& path);

}  // namespace sealdoor
