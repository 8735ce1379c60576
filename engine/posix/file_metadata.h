#pragma once
// Everything a file carries besides its bytes, copied from the original to
// its new version as `cp -a` does: owner and group, mode, the access control
// list, extended attributes (user tags, origin URLs, checksums), file
// capabilities and security labels.

#include <sys/stat.h>

#include <expected>
#include <string_view>

#include "engine/failure.h"

namespace sealdoor {

// The extended attribute that marks a named working file as ours, so a
// later run can tell a leftover of a killed run from a user's own file.
inline constexpr const char* kWorkingFileMark = "user.sealdoor.working";

// `from` is the original (with `original` its status), `to` the new
// version. Fails rather than let anyone gain access or anything be lost.
[[nodiscard]] std::expected<void, Failure> CopyFileMetadata(int from, const struct stat& original, int to);

// The inode flags (chattr) that a file takes only while it is empty, such
// as no copy-on-write on Btrfs; before anything is written to `to`.
[[nodiscard]] std::expected<void, Failure> CopyEarlyInodeFlags(int from, int to);

}  // namespace sealdoor
