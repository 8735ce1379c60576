#include "temp_names.h"

namespace sealdoor {

std::string DrawTempFileName(RandomSource& random) {
  std::string name;
  for (int i = 0; i < 6; ++i) name += static_cast<char>(static_cast<int>(random.Next() * 26 + 97));
  name += ".tmp";
  return name;
}

bool IsWorkingFileName(std::string_view name) noexcept {
  if (!name.starts_with(kWorkingPrefix)) return false;
  name.remove_prefix(kWorkingPrefix.size());
  if (name.size() != 10 || !name.ends_with(".tmp")) return false;
  for (std::size_t i = 0; i < 6; ++i)
    if (name[i] < 'a' || name[i] > 'z') return false;
  return true;
}

}  // namespace sealdoor
