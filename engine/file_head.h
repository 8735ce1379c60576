#pragma once
// The first bytes of a file, for telling whether it is locked without
// taking it for processing. One implementation per system.

#include <cstdint>
#include <expected>
#include <filesystem>
#include <vector>

#include "failure.h"

namespace sealdoor {

// Up to 702 bytes from the start of `path`. Anything but a regular file is
// refused without being opened for reading (a FIFO would block).
[[nodiscard]] std::expected<std::vector<std::uint8_t>, Failure> ReadFileHead(const std::filesystem::path& path);

}  // namespace sealdoor
