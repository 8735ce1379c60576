#pragma once
// Where the system cannot hold writers off for us (no leases on network and
// FUSE file systems, or none for another user's file without CAP_LEASE),
// the best check left: look through the open files and the shared writable
// mappings of every process for one that can write this file.

#include <sys/types.h>

#include <cstdint>

namespace sealdoor {

enum class WriterSearch {
  None,        // no process we looked at can write it, and we saw them all
  Found,       // one can
  Incomplete,  // none that we saw, but there are processes we may not look at
};

[[nodiscard]] WriterSearch FindWritersElsewhere(dev_t device, ino_t inode) noexcept;

// Whether another run of Sealdoor holds the file (its lock or its lease).
[[nodiscard]] bool HeldByAnotherRun(std::uint64_t device, std::uint64_t inode);

}  // namespace sealdoor
