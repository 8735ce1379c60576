#include "engine/file_identity.h"

#include <sys/stat.h>

namespace sealdoor {

std::optional<FileFacts> FactsOf(const std::filesystem::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  return FileFacts{{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
                   static_cast<std::uint64_t>(st.st_size)};
}

}  // namespace sealdoor
