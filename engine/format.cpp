#include "format.h"

#include <algorithm>

#include "base64.h"

namespace sealdoor::format {

bool IsLocked(std::span<const std::uint8_t> head) noexcept {
  if (head.size() < kHead) return false;
  return std::equal(kSignature.begin(), kSignature.end(), head.begin() + kKeyHeader);
}

std::optional<std::string> ReadStoredPassword(std::string_view headText) {
  // Slots 0..41 exist; 0..36 are read, the rest stay empty.
  constexpr std::size_t kSlots = 42;
  constexpr std::size_t kFilled = 37;
  auto at = [&](std::size_t position) -> std::string {  // 1-based
    if (position == 0 || position > headText.size()) return {};
    return std::string(1, headText[position - 1]);
  };
  std::array<std::string, kSlots> slots;
  slots[0] = at(26);
  for (std::size_t i = 1; i < kFilled; ++i) slots[i] = at(26 * i + 25);

  // An empty slot 0 has no character code; it reads as a length of 0.
  const int length = slots[0].empty() ? 0 : static_cast<unsigned char>(slots[0][0]) - 65;
  if (length >= static_cast<int>(kSlots)) return std::nullopt;
  std::string password;
  for (int k = 1; k <= length; ++k) password += slots[static_cast<std::size_t>(k)];
  return password;
}

std::optional<std::string> ReadStoredPassword(std::span<const std::uint8_t, kHead> head) {
  return ReadStoredPassword(base64::Encode(head));
}

}  // namespace sealdoor::format
