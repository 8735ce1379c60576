#include "engine/path_kind.h"

#include "engine/win32/windows_h.h"
#include "long_path.h"

namespace sealdoor {

std::expected<PathKind, std::error_code> KindOf(const std::filesystem::path& path) {
  const auto api = win32::ApiPath(path);
  DWORD err = api ? 0 : api.error();
  const DWORD attributes = api ? ::GetFileAttributesW(api->c_str()) : INVALID_FILE_ATTRIBUTES;
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (err == 0) err = ::GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
      return std::unexpected(std::make_error_code(std::errc::no_such_file_or_directory));
    return std::unexpected(std::error_code(static_cast<int>(err), std::system_category()));
  }
  // A junction named as it is counts as the folder it leads to, as it
  // always did here.
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::Other;
}

}  // namespace sealdoor
