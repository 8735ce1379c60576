#pragma once
// Where the system cannot hold writers off for us (no leases on network and
// FUSE file systems), the best check left: look through the open files of
// every process we may see for one that has this file open for writing.

#include <sys/types.h>

namespace sealdoor {

[[nodiscard]] bool OpenForWritingElsewhere(dev_t device, ino_t inode) noexcept;

}  // namespace sealdoor
