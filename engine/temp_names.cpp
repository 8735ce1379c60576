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

std::string ExchangeName(std::uint64_t replacedInode, RandomSource& random) {
  return std::string(kWorkingPrefix) + "r" + std::to_string(replacedInode) + "-" + DrawTempFileName(random);
}

std::optional<std::uint64_t> ReplacedInode(std::string_view name) noexcept {
  if (!name.starts_with(kWorkingPrefix)) return std::nullopt;
  name.remove_prefix(kWorkingPrefix.size());
  if (!name.starts_with('r')) return std::nullopt;
  name.remove_prefix(1);
  const auto dash = name.find('-');
  if (dash == 0 || dash == std::string_view::npos || dash > 20) return std::nullopt;
  std::uint64_t inode = 0;
  for (const char c : name.substr(0, dash)) {
    if (c < '0' || c > '9') return std::nullopt;
    inode = inode * 10 + static_cast<std::uint64_t>(c - '0');
  }
  const std::string rest = std::string(kWorkingPrefix) + std::string(name.substr(dash + 1));
  if (!IsWorkingFileName(rest)) return std::nullopt;
  return inode;
}

std::string JournalName(RandomSource& random) {
  std::string name = DrawTempFileName(random);
  name.resize(6);
  return std::string(kWorkingPrefix) + name + ".journal";
}

bool IsJournalName(std::string_view name) noexcept {
  constexpr std::string_view kSuffix = ".journal";
  if (!name.starts_with(kWorkingPrefix) || !name.ends_with(kSuffix)) return false;
  name.remove_prefix(kWorkingPrefix.size());
  name.remove_suffix(kSuffix.size());
  if (name.size() != 6) return false;
  for (const char c : name)
    if (c < 'a' || c > 'z') return false;
  return true;
}

bool IsHousekeepingName(std::string_view name) noexcept {
  return IsWorkingFileName(name) || ReplacedInode(name).has_value() || IsJournalName(name);
}

}  // namespace sealdoor
