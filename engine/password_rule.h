#pragma once
#include <string_view>

namespace sealdoor {

inline constexpr std::size_t kMaxPassword = 24;

// The password box's rule for one character: ASCII letters and digits only.
[[nodiscard]] constexpr bool IsPasswordCharacter(int c) noexcept {
  const bool refused = (c < 65 || c > 122 || (c >= 91 && c <= 96)) && !(c > 47 && c < 58);
  return !refused;
}

// 1 to 24 letters and digits.
[[nodiscard]] constexpr bool IsValidPassword(std::string_view s) noexcept {
  if (s.empty() || s.size() > kMaxPassword) return false;
  for (const char ch : s)
    if (!IsPasswordCharacter(static_cast<unsigned char>(ch))) return false;
  return true;
}

}  // namespace sealdoor
