#pragma once
// A new version of a file, written beside it and put in its place in one
// step. Until Commit succeeds the original is untouched; a replacement that
// is dropped, or whose process dies, never appears under the file's name.
// One implementation per system.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "failure.h"
#include "notice.h"
#include "random_source.h"
#include "source_file.h"

namespace sealdoor {

struct FolderSyncFailure {
  std::filesystem::path folder;
  Failure failure;
};

class ReplacementFile {
 public:
  // An empty working file in the source's folder, visible to no one but its
  // owner (where the system allows, without any name at all until Commit).
  // `source` must outlive it.
  [[nodiscard]] static std::expected<ReplacementFile, Failure> Create(SourceFile& source);

  ReplacementFile(ReplacementFile&&) noexcept;
  ReplacementFile& operator=(ReplacementFile&&) = delete;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  ~ReplacementFile();  // removes the working file unless it was put in place

  // Reserves disk space for the bytes [offset, offset + length), so a full
  // disk shows before the work rather than half-way.
  [[nodiscard]] std::expected<void, Failure> Reserve(std::uint64_t offset, std::uint64_t length);
  [[nodiscard]] std::expected<void, Failure> WriteAt(std::uint64_t offset,
                                                     std::span<const std::uint8_t> bytes);
  // The final length; bytes never written read as zeros (holes stay holes).
  [[nodiscard]] std::expected<void, Failure> SetSize(std::uint64_t size);

  // Everything the original carries besides its bytes (owner, mode and
  // attributes, access lists, extended attributes).
  [[nodiscard]] std::expected<void, Failure> Prepare();

  // The data of every one of `files` on the disk, together where the system
  // can (one sync of each file system); for each, nothing or why not.
  [[nodiscard]] static std::vector<std::optional<Failure>> SyncAll(std::span<ReplacementFile* const> files);

  // Checks that the original is still the version read and that nobody
  // writes it, then puts this one in its place at once. Prepare and sync
  // first. A failure may leave the new version in place all the same
  // (Placed), the failure saying what had to stay besides.
  [[nodiscard]] std::expected<void, Failure> Commit();

  // Whether the new version is in the file's place.
  [[nodiscard]] bool Placed() const noexcept;

  // The folder's own record of the new name on the disk (once for many
  // files of one folder). A failure cannot undo the new version, whole in
  // its place either way, but after a power cut it may be the original.
  // With `canWait`, where a later sync of the whole file system carries it
  // (the next group's, or the batch's last), it waits for that.
  [[nodiscard]] std::expected<void, Failure> SyncFolder(bool canWait = false) noexcept;
  // The folder syncs that waited, done now; the folders whose sync failed.
  [[nodiscard]] static std::vector<FolderSyncFailure> SyncWaitingFolders() noexcept;

  // After the commit, the last look at the original before it goes for
  // good: a program that came to write it in the meantime gets it back, in
  // its place (the new version is then not committed after all).
  [[nodiscard]] std::expected<void, Failure> Finish();

  // Whatever of it is not in the file's place goes now, as when it is
  // destroyed; before the folder is synced.
  void Close() noexcept;

  // Keeps this version under a new name beside the file instead
  // ("name" + suffix, else "... (2)" and so on, never over an existing
  // file), for when the file itself must not be replaced. Returns the name.
  [[nodiscard]] std::expected<std::string, Failure> KeepBeside(const std::string& suffix);

  struct Impl;

 private:
  explicit ReplacementFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Puts back or removes what a killed run left in the folder of `source`
// (only what it can prove that run made, and only what no running process
// holds); each folder is looked at once per batch. Returns the versions it
// could not put back and kept beside their files, for the user to be told.
[[nodiscard]] std::vector<Notice> RemoveLeftoverWorkingFiles(SourceFile& source) noexcept;

}  // namespace sealdoor
