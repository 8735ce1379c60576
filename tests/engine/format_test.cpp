#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/base64.h"
#include "engine/format.h"
#include "engine/scramble.h"

namespace sealdoor::format {
namespace {

// The text route the format is defined by: encode, reverse the 72
// characters, decode.
std::vector<std::uint8_t> ScrambleThroughText(std::span<const std::uint8_t> block) {
  std::string text = base64::Encode(block);
  std::reverse(text.begin(), text.end());
  return *base64::Decode(text);
}

TEST(Signature, IsTheDecodingOfHeaderLine13) {
  const auto decoded = base64::Decode(kSignatureLine);
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(std::equal(decoded->begin(), decoded->end(), kSignature.begin(), kSignature.end()));
  EXPECT_TRUE(std::equal(kSignature.begin(), kSignature.begin() + 15, kSignature.end() - 15));
}

TEST(IsLocked, LooksOnlyAtBytes649To702) {
  std::vector<std::uint8_t> head(kHead, 0x55);
  EXPECT_FALSE(IsLocked(head));
  std::copy(kSignature.begin(), kSignature.end(), head.begin() + kKeyHeader);
  EXPECT_TRUE(IsLocked(head));
  std::vector<std::uint8_t> longer = head;
  longer.resize(5000, 0xff);
  EXPECT_TRUE(IsLocked(longer));
  EXPECT_FALSE(IsLocked(std::span(head).first(701)));  // too short to hold a head
  for (const std::size_t at : {std::size_t{648}, std::size_t{675}, std::size_t{701}}) {
    auto damaged = head;
    damaged[at] ^= 1;
    EXPECT_FALSE(IsLocked(damaged)) << at;
  }
}

TEST(Scramble, BlockOf41HexBecomes045510Repeated) {
  std::array<std::uint8_t, 54> in{}, out{};
  in.fill(0x41);
  ScrambleBlockReference(in, out);
  for (std::size_t i = 0; i < 54; i += 3) {
    EXPECT_EQ(out[i], 0x04);
    EXPECT_EQ(out[i + 1], 0x55);
    EXPECT_EQ(out[i + 2], 0x10);
  }
}

TEST(Scramble, KernelsEqualTheTextRouteAndUndoThemselves) {
  std::mt19937 gen(7);
  constexpr std::size_t kBlocks = 2000;
  std::vector<std::uint8_t> in(kBlocks * 54 + kScrambleSlack), out(in.size()), back(in.size());
  for (auto& b : in) b = static_cast<std::uint8_t>(gen());
  // A few blocks of extremes, where shifts and masks go wrong first.
  std::fill_n(in.begin(), 54, 0x00);
  std::fill_n(in.begin() + 54, 54, 0xff);
  ScrambleBlocks(in.data(), out.data(), kBlocks);
  ScrambleBlocks(out.data(), back.data(), kBlocks);
  for (std::size_t b = 0; b < kBlocks; ++b) {
    const std::span<const std::uint8_t, 54> block(in.data() + 54 * b, 54);
    const auto viaText = ScrambleThroughText(block);
    ASSERT_TRUE(std::equal(viaText.begin(), viaText.end(), out.begin() + static_cast<long>(54 * b)))
        << "block " << b;
    std::array<std::uint8_t, 54> ref{};
    ScrambleBlockReference(block, ref);
    ASSERT_TRUE(std::equal(ref.begin(), ref.end(), viaText.begin())) << "block " << b;
    ASSERT_TRUE(std::equal(block.begin(), block.end(), back.begin() + static_cast<long>(54 * b)));
  }
}

TEST(Scramble, InPlaceLeavesTheIncompleteTailAlone) {
  std::mt19937 gen(3);
  std::vector<std::uint8_t> data(54 * 3 + 53);
  for (auto& b : data) b = static_cast<std::uint8_t>(gen());
  auto scrambled = data;
  ScrambleInPlace(scrambled);
  EXPECT_TRUE(std::equal(data.end() - 53, data.end(), scrambled.end() - 53));
  const auto first = ScrambleThroughText(std::span(data).first(54));
  EXPECT_TRUE(std::equal(first.begin(), first.end(), scrambled.begin()));
}

// A header text with given characters at given 1-based positions, "x" elsewhere.
std::string HeaderText(std::size_t length, std::vector<std::pair<std::size_t, char>> at) {
  std::string t(length, 'x');
  for (auto [pos, c] : at) t[pos - 1] = c;
  return t;
}

TEST(StoredPassword, SlotRules) {
  struct Case {
    const char* what;
    std::string text;
    std::optional<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"three characters", HeaderText(936, {{26, 'D'}, {51, 'a'}, {77, 'B'}, {103, '3'}}), "aB3"},
      {"length code A is empty", HeaderText(936, {{26, 'A'}, {51, 'q'}}), ""},
      {"code below A is empty", HeaderText(936, {{26, '0'}}), ""},
      {"length code 42 points past the last slot", HeaderText(936, {{26, 'k'}}),
       std::nullopt},
      {"code 41 reads 35 slots of the text, then empties",
       HeaderText(936, {{26, 'j'}, {51, '1'}, {935, '9'}}),
       "1" + std::string(33, 'x') + "9"},
      {"text shorter than slot 0", std::string(20, 'x'), ""},
      {"empty text", "", ""},
      {"text ends inside the slots", HeaderText(80, {{26, 'E'}, {51, 'p'}, {77, 'w'}}), "pw"},
      {"length code far past the slots", HeaderText(936, {{26, 'z'}}), std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ReadStoredPassword(c.text), c.expected) << c.what;
}

TEST(ContentLines, OnePerBlockAndOneForATail) {
  EXPECT_EQ(ContentLines(0), 0u);
  EXPECT_EQ(ContentLines(1), 1u);
  EXPECT_EQ(ContentLines(54), 1u);
  EXPECT_EQ(ContentLines(55), 2u);
  EXPECT_EQ(ContentLines(5400), 100u);
}

}  // namespace
}  // namespace sealdoor::format
