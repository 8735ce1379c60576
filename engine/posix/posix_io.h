#pragma once
// Thin RAII wrappers over the POSIX calls the engine uses; each can be made
// to fail by the test hook of io_faults.h.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>

#include "engine/failure.h"
#include "engine/io_faults.h"

namespace sealdoor::io {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) noexcept : fd_(fd) {}
  UniqueFd(UniqueFd&& o) noexcept : fd_(o.Release()) {}
  UniqueFd& operator=(UniqueFd&& o) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();

  [[nodiscard]] int Get() const noexcept { return fd_; }
  [[nodiscard]] bool Valid() const noexcept { return fd_ >= 0; }
  int Release() noexcept;

 private:
  int fd_ = -1;
};

// Failures carry the errno.
using Result = std::expected<void, Failure>;

[[nodiscard]] std::expected<UniqueFd, Failure> Open(const std::filesystem::path& p, int flags,
                                                mode_t mode = 0);
[[nodiscard]] std::expected<UniqueFd, Failure> OpenAt(int dirfd, const std::string& name, int flags,
                                                  mode_t mode = 0);
// Reads until `buf` is full or the file ends; returns the bytes read.
[[nodiscard]] std::expected<std::size_t, Failure> ReadFull(int fd, std::span<std::uint8_t> buf);
[[nodiscard]] std::expected<std::size_t, Failure> PreadFull(int fd, std::span<std::uint8_t> buf,
                                                        off_t offset);
[[nodiscard]] Result WriteAll(int fd, std::span<const std::uint8_t> buf);
[[nodiscard]] Result PwriteAll(int fd, std::span<const std::uint8_t> buf, off_t offset);
[[nodiscard]] Result Fsync(int fd);
// Everything written to the file system that `fd` is on.
[[nodiscard]] Result SyncFs(int fd);
[[nodiscard]] Result Fchmod(int fd, mode_t mode);
[[nodiscard]] Result RenameAt(int dirfd, const std::string& from, const std::string& to,
                              unsigned flags = 0);
[[nodiscard]] Result UnlinkAt(int dirfd, const std::string& name);
// Renames `from` to `to` in the folder `dirfd`, never over an existing
// file (EEXIST if `to` exists).
[[nodiscard]] Result RenameNoReplace(int dirfd, const std::string& from, const std::string& to);
// Reserves [offset, offset + length); a file system without support is not an error.
[[nodiscard]] Result Allocate(int fd, off_t offset, off_t length);
[[nodiscard]] std::expected<struct stat, Failure> Fstat(int fd);
// The path under which the kernel knows the open file `fd`.
[[nodiscard]] std::expected<std::filesystem::path, Failure> FdPath(int fd);

}  // namespace sealdoor::io
