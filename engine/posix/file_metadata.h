#pragma once
// Everything a file carries besides its bytes, copied from the original to
// its new version as `cp -a` does: owner and group, mode, the access control
// list, extended attributes (user tags, origin URLs, checksums), file
// capabilities and security labels.

#include <sys/stat.h>

#include <cstdint>
#include <expected>
#include <string_view>

#include "engine/failure.h"

namespace sealdoor {

// The extended attribute that marks a named working file as ours, so a
// later run can tell a leftover of a killed run from a user's own file.
inline constexpr const char* kWorkingFileMark = "user.sealdoor.working";

// The inode flags (chattr) and the project number of a file and of its
// folder, which a new file in it may inherit; read once, as it is opened.
struct InodeFlags {
  int file = 0;
  int folder = 0;
  std::uint32_t project = 0;
  std::uint32_t folderProject = 0;  // read only where new files inherit it

  [[nodiscard]] static InodeFlags Of(int file, int folder) noexcept;
};

// `from` is the original (with `original` its status and `flags` its inode
// flags), `to` the new version. Fails rather than let anyone gain access or
// anything be lost.
[[nodiscard]] std::expected<void, Failure> CopyFileMetadata(int from, const struct stat& original,
                                                            const InodeFlags& flags, int to);

// The inode flags that a file takes only while it is empty, such as no
// copy-on-write on Btrfs; before anything is written to `to`.
[[nodiscard]] std::expected<void, Failure> CopyEarlyInodeFlags(const InodeFlags& flags, int to);

}  // namespace sealdoor
