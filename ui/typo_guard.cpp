#include "typo_guard.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string>
#include <system_error>

#include "engine/file_head.h"
#include "engine/format.h"
#include "engine/secure_wipe.h"

namespace sealdoor::ui {
namespace {

char Lower(char c) noexcept { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) noexcept {
  return std::ranges::equal(a, b, [](char x, char y) { return Lower(x) == Lower(y); });
}

// One character added, missing or changed, or two neighbours swapped.
bool OneEditApart(std::string_view a, std::string_view b) noexcept {
  if (a.size() < b.size()) std::swap(a, b);
  if (a.size() - b.size() > 1) return false;
  const auto [ia, ib] = std::ranges::mismatch(a, b);
  const auto i = static_cast<std::size_t>(ia - a.begin());
  if (i == a.size()) return true;  // the same
  if (a.size() != b.size()) return a.substr(i + 1) == b.substr(i);
  if (a.substr(i + 1) == b.substr(i + 1)) return true;
  return i + 1 < a.size() && a[i] == b[i + 1] && a[i + 1] == b[i] && a.substr(i + 2) == b.substr(i + 2);
}

}  // namespace

Nearness Compare(std::string_view typed, std::string_view stored) noexcept {
  if (typed == stored) return Nearness::Same;
  if (EqualIgnoringCase(typed, stored)) return Nearness::CaseOnly;
  if (OneEditApart(typed, stored)) return Nearness::OneCharacter;
  return Nearness::Far;
}

Nearness NearestStoredPassword(std::span<const std::filesystem::path> folders, std::string_view typed,
                               TypoGuardLimits limits) {
  Nearness nearest = Nearness::Far;
  for (const auto& folder : folders) {
    std::error_code ec;
    std::filesystem::directory_iterator it(folder, std::filesystem::directory_options::skip_permission_denied, ec);
    for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
      if (limits.entries == 0 || limits.heads == 0) return nearest;
      if (limits.stop && limits.stop->load(std::memory_order_relaxed)) return nearest;
      --limits.entries;
      // Regular files as they are (a link leads elsewhere), long enough for a head.
      std::error_code entryEc;
      if (it->symlink_status(entryEc).type() != std::filesystem::file_type::regular) continue;
      if (it->file_size(entryEc) < format::kHead || entryEc) continue;
      --limits.heads;
      auto head = ReadFileHead(it->path());
      if (!head || !format::IsLocked(*head)) continue;
      std::optional<std::string> stored =
          format::ReadStoredPassword(std::span<const std::uint8_t, format::kHead>(head->data(), format::kHead));
      WipeBytes(head->data(), head->size());
      if (!stored) continue;
      const Nearness n = stored->empty() ? Nearness::Far : Compare(typed, *stored);
      SecureWipe(*stored);
      if (n == Nearness::Same) return n;  // the password of files here: nothing to ask
      if (n < nearest) nearest = n;
    }
  }
  return nearest;
}

}  // namespace sealdoor::ui
