#include "batch_counters.h"

#include <cstdint>

namespace sealdoor {

BatchCounters BatchCountersFor(std::span<const std::filesystem::path> files) {
  std::uint64_t bytes = 0;
  for (const auto& f : files) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(f, ec);
    if (!ec) bytes += n;
  }
  return {static_cast<double>(bytes / 54), 0};
}

}  // namespace sealdoor
