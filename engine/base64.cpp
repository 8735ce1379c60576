#include "base64.h"

#include <array>

namespace sealdoor::base64 {
namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<std::int8_t, 256> MakeReverse() {
  std::array<std::int8_t, 256> r{};
  r.fill(-1);
  for (std::size_t i = 0; i < kAlphabet.size(); ++i)
    r[static_cast<unsigned char>(kAlphabet[i])] = static_cast<std::int8_t>(i);
  return r;
}
constexpr auto kReverse = MakeReverse();

}  // namespace

void EncodeAppend(std::span<const std::uint8_t> bytes, std::string& out) {
  out.reserve(out.size() + (bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = (unsigned{bytes[i]} << 16) | (unsigned{bytes[i + 1]} << 8) | bytes[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest == 0) return;
  unsigned v = unsigned{bytes[i]} << 16;
  if (rest == 2) v |= unsigned{bytes[i + 1]} << 8;
  out += kAlphabet[(v >> 18) & 63];
  out += kAlphabet[(v >> 12) & 63];
  out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
  out += '=';
}

std::string Encode(std::span<const std::uint8_t> bytes) {
  std::string out;
  EncodeAppend(bytes, out);
  return out;
}

bool DecodeAppend(std::string_view text, std::vector<std::uint8_t>& out) {
  if (text.size() % 4 != 0) return false;
  out.reserve(out.size() + text.size() / 4 * 3);
  for (std::size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    std::size_t pad = 0;
    if (last) pad = text[i + 3] == '=' ? (text[i + 2] == '=' ? 2 : 1) : 0;
    unsigned v = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const char c = text[i + j];
      int d = 0;
      if (j >= 4 - pad) {
        if (c != '=') return false;
      } else {
        d = kReverse[static_cast<unsigned char>(c)];
        if (d < 0) return false;
      }
      v = (v << 6) | static_cast<unsigned>(d);
    }
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    if (pad < 2) out.push_back(static_cast<std::uint8_t>(v >> 8));
    if (pad < 1) out.push_back(static_cast<std::uint8_t>(v));
  }
  return true;
}

bool DecodeInto(std::string_view text, std::span<std::uint8_t> out) noexcept {
  if (text.size() % 4 != 0 || text.size() / 4 * 3 != out.size()) return false;
  for (std::size_t i = 0, o = 0; i < text.size(); i += 4, o += 3) {
    unsigned v = 0;
    for (std::size_t j = 0; j < 4; ++j) {
      const int d = kReverse[static_cast<unsigned char>(text[i + j])];
      if (d < 0) return false;
      v = (v << 6) | static_cast<unsigned>(d);
    }
    out[o] = static_cast<std::uint8_t>(v >> 16);
    out[o + 1] = static_cast<std::uint8_t>(v >> 8);
    out[o + 2] = static_cast<std::uint8_t>(v);
  }
  return true;
}

std::optional<std::vector<std::uint8_t>> Decode(std::string_view text) {
  std::vector<std::uint8_t> out;
  if (!DecodeAppend(text, out)) return std::nullopt;
  return out;
}

}  // namespace sealdoor::base64
