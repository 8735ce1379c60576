#include "tr.h"

namespace sealdoor::text {

std::string Tr(std::string_view english) { return std::string(english); }

std::string TrN(std::string_view one, std::string_view many, std::uint64_t n) {
  return std::string(n == 1 ? one : many);
}

std::string Fill(std::string_view pattern,
                 std::initializer_list<std::pair<std::string_view, std::string_view>> values) {
  std::string out;
  out.reserve(pattern.size() + 32);
  for (std::size_t i = 0; i < pattern.size();) {
    if (pattern[i] == '{') {
      const auto close = pattern.find('}', i);
      if (close != std::string_view::npos) {
        const std::string_view name = pattern.substr(i + 1, close - i - 1);
        bool filled = false;
        for (const auto& [key, value] : values) {
          if (key == name) {
            out += value;
            filled = true;
            break;
          }
        }
        if (filled) {
          i = close + 1;
          continue;
        }
      }
    }
    out += pattern[i++];
  }
  return out;
}

std::string Number(std::uint64_t n) {
  std::string digits = std::to_string(n);
  const std::string separator = Tr(",");
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += separator;
    out += digits[i];
  }
  return out;
}

}  // namespace sealdoor::text
