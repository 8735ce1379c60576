#pragma once
// The file to rewrite, opened for reading and watched until its new version
// is in place: no other program may write it meanwhile, and any change, move
// or deletion by another program is noticed. One implementation per system.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <memory>
#include <span>

#include "action.h"
#include "failure.h"

namespace sealdoor {

// A range of bytes [begin, end).
struct Extent {
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
};

class SourceFile {
 public:
  // Opens `path` (a link is followed: the file it points to is the one
  // rewritten, in its own folder). Refuses what must not be rewritten:
  // folders, devices and other non-files, system views such as /proc, a
  // file another program has open for writing, one whose owner could not be
  // kept, and, for locking, one with other names (hard links).
  [[nodiscard]] static std::expected<SourceFile, Failure> Open(const std::filesystem::path& path,
                                                               Action action);

  SourceFile(SourceFile&&) noexcept;
  SourceFile& operator=(SourceFile&&) noexcept;
  SourceFile(const SourceFile&) = delete;
  SourceFile& operator=(const SourceFile&) = delete;
  ~SourceFile();

  [[nodiscard]] std::uint64_t Size() const noexcept;
  [[nodiscard]] const std::filesystem::path& Folder() const noexcept;
  [[nodiscard]] const std::filesystem::path& Name() const noexcept;

  // Reads up to buffer.size() bytes at `offset`; fewer only at the end.
  [[nodiscard]] std::expected<std::size_t, Failure> ReadAt(std::uint64_t offset,
                                                           std::span<std::uint8_t> buffer);

  // The first range at or after `offset` that holds data; the bytes between
  // are a hole (zeros that take no disk space). {Size(), Size()} past the
  // last data. Where the system cannot tell, everything is data.
  [[nodiscard]] std::expected<Extent, Failure> NextData(std::uint64_t offset);

  // Cheap, for use during the work: fails once another program has opened
  // the file for writing.
  [[nodiscard]] std::expected<void, Failure> CheckNoWriter();

  // Thorough, for just before the new version takes its place: the file is
  // still, under its name, the version that was read, and nobody writes it.
  [[nodiscard]] std::expected<void, Failure> CheckUnchanged();

  struct Impl;
  [[nodiscard]] Impl& Internals() noexcept { return *impl_; }

 private:
  explicit SourceFile(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace sealdoor
