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

// The extended attribute that marked named working files of earlier
// versions as theirs; never copied to a new version.
inline constexpr const char* kWorkingFileMark = "user.sealdoor.working";

struct Folder;

// The inode flags (chattr) and the project number of a file, with those of
// its folder, which a new file in it inherits; read once, as it is opened.
struct InodeFlags {
  int file = 0;
  int folder = 0;
  std::uint32_t project = 0;
  std::uint32_t folderProject = 0;  // where new files inherit it

  // A file system without them has none; one that fails to tell refuses
  // the file (they would be lost).
  [[nodiscard]] static std::expected<InodeFlags, Failure> Of(int file, const Folder& folder);
};

// `from` is the original (with `original` its status and `flags` its inode
// flags), `to` the new version, made in `folder`. Fails rather than let
// anyone gain access or anything be lost.
[[nodiscard]] std::expected<void, Failure> CopyFileMetadata(int from, const struct stat& original,
                                                            const InodeFlags& flags, const Folder& folder, int to);

// The inode flags that a file takes only while it is empty, such as no
// copy-on-write on Btrfs; before anything is written to `to`.
[[nodiscard]] std::expected<void, Failure> CopyEarlyInodeFlags(const InodeFlags& flags, int to);

}  // namespace sealdoor
