#include "engine/path_kind.h"

namespace sealdoor {

std::expected<PathKind, std::error_code> KindOf(const std::filesystem::path& path) {
  std::error_code ec;
  const auto st = std::filesystem::symlink_status(path, ec);
  if (!ec && st.type() == std::filesystem::file_type::not_found)
    ec = std::make_error_code(std::errc::no_such_file_or_directory);
  if (ec) return std::unexpected(ec);
  return st.type() == std::filesystem::file_type::directory ? PathKind::Folder : PathKind::Other;
}

}  // namespace sealdoor
