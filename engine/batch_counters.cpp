#include "batch_counters.h"

#include <cstdint>
#include <set>

#include "file_identity.h"
#include "path_text.h"

namespace sealdoor {

BatchFiles PrepareBatch(std::span<const std::string> paths, std::span<const std::optional<FileFacts>> known) {
  BatchFiles out;
  std::set<FileIdentity> seen;
  std::uint64_t bytes = 0;
  for (std::size_t i = 0; i < paths.size(); ++i) {
    const auto facts = i < known.size() && known[i] ? known[i] : FactsOf(PathFromText(paths[i]));
    if (facts) {
      if (!seen.insert(facts->identity).second) continue;
      bytes += facts->size;
    }
    out.paths.push_back(paths[i]);
    out.kept.push_back(i);
  }
  out.counters = {static_cast<double>(bytes / 54), 0};
  return out;
}

}  // namespace sealdoor
