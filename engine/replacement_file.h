#pragma once
// A new version of a file, written beside it and put in its place in one
// step. Until Commit succeeds the original is untouched; a replacement that
// is dropped, or whose process dies, never appears under the file's name.

#include <sys/stat.h>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>

#include "posix_io.h"
#include "random_source.h"

namespace sealdoor {

// A failure: the errno value, or 0 with a text of our own.
struct Failure {
  int code = 0;
  std::string text;
  [[nodiscard]] std::string Reason() const;
};

class ReplacementFile {
 public:
  // Creates an empty working file, readable only by its owner, in `folder`
  // (never over an existing name or through a link).
  [[nodiscard]] static std::expected<ReplacementFile, Failure> Create(
      const std::filesystem::path& folder, RandomSource& random);

  ReplacementFile(ReplacementFile&& o) noexcept;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ReplacementFile(const ReplacementFile&) = delete;
  ~ReplacementFile();  // removes the working file unless committed

  [[nodiscard]] io::Result Reserve(std::uint64_t bytes);
  [[nodiscard]] io::Result Write(std::span<const std::uint8_t> bytes);

  // Syncs the data, gives it the original's mode (and owner where we may),
  // renames it over `targetName` (a name in the same folder) and syncs the
  // folder.
  [[nodiscard]] std::expected<void, Failure> Commit(const std::string& targetName,
                                                    const struct stat& original);

  // Keeps the new version under a new name beside the file instead
  // ("baseName", else "baseName (2)" and so on, never over an existing
  // file), for when the file itself must not be replaced. Returns the name.
  [[nodiscard]] std::expected<std::string, Failure> KeepBeside(const std::string& baseName,
                                                               const struct stat& original);

 private:
  // Synced, with the original's owner and mode.
  [[nodiscard]] std::expected<void, Failure> Prepare(const struct stat& original);

  ReplacementFile(io::UniqueFd dir, io::UniqueFd file, std::string name);

  io::UniqueFd dir_;
  io::UniqueFd file_;
  std::string name_;
  std::uint64_t written_ = 0;
  std::uint64_t flushed_ = 0;  // handed to write-back so far
  bool done_ = false;
};

// Removes working files that an earlier run left in `folder` when it was
// killed: only our own names, only plain files of ours, and only those that
// no running process holds.
void RemoveLeftoverWorkingFiles(const std::filesystem::path& folder) noexcept;

}  // namespace sealdoor
