#pragma once
// What lock, unlock and status take: a regular file on a disk. Checked on
// what the path leads to before the file is opened for reading: opening a
// FIFO takes a waiting writer's message, a device may act, and a system
// view such as /proc makes its "files" up as they are read.

#include <sys/stat.h>

#include <expected>

#include "engine/failure.h"

namespace sealdoor {

// `st` and `fsType` (statfs's f_type) of what a path leads to.
[[nodiscard]] std::expected<void, Failure> CheckFileOnDisk(const struct stat& st, long fsType);

}  // namespace sealdoor
