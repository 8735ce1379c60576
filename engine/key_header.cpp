#include "key_header.h"

#include "format.h"

namespace sealdoor::format {

char FillerLetter(double r) noexcept {
  const int c = static_cast<int>(r * 58 + 65);
  if (c >= 91 && c <= 96) return 'V';
  return static_cast<char>(c);
}

std::string MakeKeyHeaderText(std::string_view password, RandomSource& random) {
  const std::size_t length = password.size();
  std::string text;
  text.reserve(kHeadText);
  std::string line = "V";
  std::size_t count = 2;  // counts the length code in advance
  std::size_t nextSlot = 25;
  std::size_t slotsUsed = 0;
  for (int i = 0; i < 24; ++i) {
    line += FillerLetter(random.Next());
    ++count;
  }
  line += static_cast<char>(65 + length);
  for (std::size_t j = 1; j <= 857; ++j) {
    ++count;
    if (j == nextSlot && slotsUsed <= 25) {
      nextSlot += 25;
      ++slotsUsed;
      line += slotsUsed <= length ? password[slotsUsed - 1] : FillerLetter(random.Next());
      ++count;
    }
    line += FillerLetter(random.Next());
    if (count == 72) {
      text += line;
      line.clear();
      count = 0;
    }
  }
  // The 45 characters left in `line` are never written.
  text += kSignatureLine;
  return text;
}

}  // namespace sealdoor::format
