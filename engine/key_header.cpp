#include "key_header.h"

#include <array>

#include "format.h"
#include "secure_wipe.h"

namespace sealdoor::format {
namespace {

// Letters before the length code, content positions, and password slots.
constexpr std::size_t kLeadingFiller = 24;
constexpr std::size_t kPositions = 857;
constexpr std::size_t kSlots = 26;
// Every character put down, the 45 that are never written included.
constexpr std::size_t kAllCharacters = 1 + kLeadingFiller + 1 + kPositions + kSlots;

}  // namespace

char FillerLetter(double r) noexcept {
  const int c = static_cast<int>(r * 58 + 65);
  if (c >= 91 && c <= 96) return 'V';
  return static_cast<char>(c);
}

std::string MakeKeyHeaderText(std::string_view password, RandomSource& random) {
  const std::size_t length = password.size();
  // Every draw the head takes, in the order it takes them, drawn at once.
  std::array<double, kLeadingFiller + kPositions + kSlots> draws;
  const std::size_t drawn = kLeadingFiller + kPositions + kSlots - std::min(length, kSlots);
  random.Fill(std::span(draws).first(drawn));
  std::size_t next = 0;
  auto filler = [&] { return FillerLetter(draws[next++]); };

  // The characters as the lines are put together; a line is written out
  // when it holds 72, and what follows the last such line is dropped.
  std::array<char, kAllCharacters> chars;
  std::size_t put = 0;
  std::size_t written = 0;
  chars[put++] = 'V';
  std::size_t count = 2;  // counts the length code in advance
  std::size_t nextSlot = 25;
  std::size_t slotsUsed = 0;
  for (std::size_t i = 0; i < kLeadingFiller; ++i) {
    chars[put++] = filler();
    ++count;
  }
  chars[put++] = static_cast<char>(65 + length);
  for (std::size_t j = 1; j <= kPositions; ++j) {
    ++count;
    if (j == nextSlot && slotsUsed <= 25) {
      nextSlot += 25;
      ++slotsUsed;
      chars[put++] = slotsUsed <= length ? password[slotsUsed - 1] : filler();
      ++count;
    }
    chars[put++] = filler();
    if (count == 72) {
      written = put;
      count = 0;
    }
  }
  std::string text;
  text.reserve(kHeadText);
  text.append(chars.data(), written);
  text += kSignatureLine;
  WipeBytes(chars.data(), chars.size());
  return text;
}

}  // namespace sealdoor::format
