#pragma once
// The Win32 file calls the engine makes on open handles, each of which the
// test hook of io_faults.h can make fail, as posix_io does on Linux.

#include <cstdint>
#include <expected>
#include <span>

#include "engine/failure.h"
#include "engine/io_faults.h"
#include "windows_h.h"

namespace sealdoor::io {

using Result = std::expected<void, Failure>;

// Whether the test hook fails the step `op` that comes next: for steps
// that are more than one call.
[[nodiscard]] Result Step(Op op);

// Reads from `offset` until `buffer` is full or the file ends: how many
// bytes came.
[[nodiscard]] std::expected<std::size_t, Failure> ReadAt(HANDLE file, std::uint64_t offset,
                                                         std::span<std::uint8_t> buffer);
// Writes all of `bytes` at `offset`.
[[nodiscard]] Result WriteAt(HANDLE file, std::uint64_t offset, std::span<const std::uint8_t> bytes);
// Puts what was written on the disk.
[[nodiscard]] Result Flush(HANDLE file);
// Reserves room for `size` bytes: a full disk fails, a file system that
// cannot reserve does not.
[[nodiscard]] Result Reserve(HANDLE file, std::uint64_t size);

}  // namespace sealdoor::io
