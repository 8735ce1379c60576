#include <gtest/gtest.h>

#include "engine/base64.h"
#include "engine/format.h"
#include "engine/key_header.h"
#include "test_support.h"

namespace sealdoor::format {
namespace {

using test::FixedRandom;

TEST(FillerLetter, CodesBetweenZAndASmallGiveV) {
  // r*58 + 65 for chosen r: both ends of the range and the six codes 91..96.
  EXPECT_EQ(FillerLetter(0.0), 'A');
  EXPECT_EQ(FillerLetter(25.5 / 58), 'Z');
  for (int c = 91; c <= 96; ++c) EXPECT_EQ(FillerLetter((c - 65 + 0.5) / 58), 'V') << c;
  EXPECT_EQ(FillerLetter(32.5 / 58), 'a');
  EXPECT_EQ(FillerLetter(0.999999), 'z');
}

TEST(KeyHeader, SlotsAndLengthCodeForPasswordsOf1To24) {
  SystemRandom random;
  for (const std::string password : {"a", "Ab3", "abcdefghijklmnopqrstuvwx", "000000000000000000000000"}) {
    const std::string text = MakeKeyHeaderText(password, random);
    ASSERT_EQ(text.size(), kHeadText);
    EXPECT_EQ(text[0], 'V');
    EXPECT_EQ(text[25], static_cast<char>(65 + password.size()));
    for (std::size_t k = 1; k <= password.size(); ++k) EXPECT_EQ(text[25 + 26 * k - 1], password[k - 1]);
    EXPECT_EQ(text.substr(12 * kLine), kSignatureLine);
    // Everything but slots and line 13 is a letter; no code 91..96 appears.
    for (std::size_t i = 0; i < 12 * kLine; ++i) {
      const bool slot = i >= 50 && (i - 50) % 26 == 0 && (i - 50) / 26 < password.size();
      if (!slot) {
        EXPECT_TRUE(std::isalpha(static_cast<unsigned char>(text[i]))) << i;
      }
    }
    EXPECT_EQ(ReadStoredPassword(text), password);
    // The text decodes to a 702-byte head that encodes back to the same text.
    const auto bytes = base64::Decode(text);
    ASSERT_TRUE(bytes);
    ASSERT_EQ(bytes->size(), kHead);
    EXPECT_EQ(base64::Encode(*bytes), text);
    EXPECT_TRUE(IsLocked(*bytes));
  }
}

TEST(KeyHeader, SlotsPast24HoldFiller) {
  // Every draw gives "q": slots 25 and 26 (positions 675 and 701) are filler.
  FixedRandom random({(113 - 65 + 0.5) / 58});
  const std::string text = MakeKeyHeaderText("abcdefghijklmnopqrstuvwx", random);
  EXPECT_EQ(text[674], 'q');
  EXPECT_EQ(text[700], 'q');
  EXPECT_EQ(text[25 + 26 * 24 - 1], 'x');
}

}  // namespace
}  // namespace sealdoor::format
