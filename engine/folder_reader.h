#pragma once
// A folder's entries, as the walk through a tree needs them: each looked at
// once, and a regular file's first bytes read without taking it for work.
// One implementation per system (Linux: one handle per folder, every name
// reached through it).

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "file_identity.h"

namespace sealdoor {

struct FolderEntry {
  enum class Kind { File, Folder, Link, Special };
  std::string name;  // UTF-8
  Kind kind = Kind::Special;
  FileIdentity identity;  // where the system tells it cheaply; else all zeros
  std::uint64_t size = 0;
};

class FolderReader {
 public:
  // The folder at `path` (a link to one is followed, as for a folder named
  // by the user).
  [[nodiscard]] static std::expected<FolderReader, std::error_code> Open(const std::filesystem::path& path);
  // A subfolder, by its name in this one (never through a link).
  [[nodiscard]] std::expected<FolderReader, std::error_code> Child(const std::string& name) const;

  FolderReader(FolderReader&&) noexcept;
  FolderReader& operator=(FolderReader&&) noexcept;
  ~FolderReader();

  [[nodiscard]] FileIdentity Identity() const noexcept;
  // Every entry but "." and "..", links not followed.
  [[nodiscard]] std::expected<std::vector<FolderEntry>, std::error_code> Entries() const;
  // Up to `bytes` bytes from the start of the regular file `name`; nothing
  // where it cannot be read.
  [[nodiscard]] std::optional<std::vector<std::uint8_t>> Head(const std::string& name, std::size_t bytes) const;

  struct Impl;

 private:
  explicit FolderReader(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace sealdoor
