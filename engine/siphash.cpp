#include "siphash.h"

namespace sealdoor {
namespace {

constexpr std::uint64_t Rotl(std::uint64_t x, int b) noexcept { return (x << b) | (x >> (64 - b)); }

std::uint64_t Load64(const std::uint8_t* p) noexcept {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

struct State {
  std::uint64_t v0, v1, v2, v3;
  void Round() noexcept {
    v0 += v1; v1 = Rotl(v1, 13); v1 ^= v0; v0 = Rotl(v0, 32);
    v2 += v3; v3 = Rotl(v3, 16); v3 ^= v2;
    v0 += v3; v3 = Rotl(v3, 21); v3 ^= v0;
    v2 += v1; v1 = Rotl(v1, 17); v1 ^= v2; v2 = Rotl(v2, 32);
  }
  void Absorb(std::uint64_t m) noexcept {
    v3 ^= m;
    Round();
    Round();
    v0 ^= m;
  }
};

}  // namespace

std::uint64_t SipHash24(const SipKey& key, std::string_view message) noexcept {
  const std::uint64_t k0 = Load64(key.data()), k1 = Load64(key.data() + 8);
  State s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
          k1 ^ 0x7465646279746573ULL};
  const auto* p = reinterpret_cast<const std::uint8_t*>(message.data());
  const std::size_t n = message.size();
  const std::size_t whole = n - n % 8;
  for (std::size_t i = 0; i < whole; i += 8) s.Absorb(Load64(p + i));
  std::uint64_t last = static_cast<std::uint64_t>(n & 0xff) << 56;
  for (std::size_t i = 0; i < n % 8; ++i) last |= static_cast<std::uint64_t>(p[whole + i]) << (8 * i);
  s.Absorb(last);
  s.v2 ^= 0xff;
  for (int i = 0; i < 4; ++i) s.Round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace sealdoor
