#include "batch_counters.h"

#include <cstdint>
#include <filesystem>

#include "path_text.h"

namespace sealdoor {

BatchCounters BatchCountersFor(std::span<const std::string> files) {
  std::uint64_t bytes = 0;
  for (const auto& f : files) {
    std::error_code ec;
    const auto n = std::filesystem::file_size(PathFromText(f), ec);
    if (!ec) bytes += n;
  }
  return {static_cast<double>(bytes / 54), 0};
}

}  // namespace sealdoor
