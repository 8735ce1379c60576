#pragma once
// Which file a path leads to, whatever path it took: the device and the
// file's number (Linux), the volume and the file's id (Windows). One
// implementation per system.

#include <cstdint>
#include <filesystem>
#include <optional>

namespace sealdoor {

struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  friend auto operator<=>(const FileIdentity&, const FileIdentity&) = default;
};

struct FileFacts {
  FileIdentity identity;
  std::uint64_t size = 0;
};

// What `path` leads to (links followed); nothing when it cannot be looked at.
[[nodiscard]] std::optional<FileFacts> FactsOf(const std::filesystem::path& path);

}  // namespace sealdoor
