#include "scramble.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SEALDOOR_X86 1
#endif

namespace sealdoor::format {
namespace {

// 48-bit word-wise kernel: output chunk pair m (6 bytes) is the sextet
// reversal of input bytes 3*(16-2m) .. +6, read big-endian.
inline std::uint64_t ReverseEightSextets(std::uint64_t x) noexcept {
  x = (x >> 24) | ((x & 0xFFFFFFull) << 24);
  x = ((x >> 12) & 0x000FFF000FFFull) | ((x & 0x000FFF000FFFull) << 12);
  x = ((x >> 6) & 0x03F03F03F03Full) | ((x & 0x03F03F03F03Full) << 6);
  return x;
}

void ScrambleBlockWords(const std::uint8_t* in, std::uint8_t* out) noexcept {
  std::array<std::uint8_t, 54> tmp;  // lets in and out alias
  for (std::size_t m = 0; m < 9; ++m) {
    const std::uint8_t* p = in + 3 * (16 - 2 * m);
    std::uint64_t x = 0;
    for (std::size_t i = 0; i < 6; ++i) x = (x << 8) | p[i];
    x = ReverseEightSextets(x);
    for (std::size_t i = 0; i < 6; ++i) tmp[6 * m + i] = static_cast<std::uint8_t>(x >> (40 - 8 * i));
  }
  std::memcpy(out, tmp.data(), tmp.size());
}

#ifdef SEALDOOR_X86
// SSSE3 kernel. Each 3-byte chunk of a block holds four sextets; output
// chunk k is input chunk 17-k with its four sextets reversed. A shuffle puts
// four chunks, in reverse order, into 32-bit lanes as 24-bit numbers; the
// sextets are reversed with shifts (swap 12-bit halves, then 6-bit halves),
// and a second shuffle packs the lanes back into 12 bytes.
__attribute__((target("ssse3"))) inline __m128i ReverseLaneSextets(__m128i x) {
  const __m128i m24 = _mm_set1_epi32(0xFFFFFF);
  const __m128i m6 = _mm_set1_epi32(0x03F03F);
  const __m128i t = _mm_and_si128(_mm_or_si128(_mm_slli_epi32(x, 12), _mm_srli_epi32(x, 12)), m24);
  return _mm_or_si128(_mm_and_si128(_mm_srli_epi32(t, 6), m6),
                      _mm_slli_epi32(_mm_and_si128(t, m6), 6));
}

__attribute__((target("ssse3"))) void ScrambleBlocksSsse3(const std::uint8_t* in,
                                                         std::uint8_t* out,
                                                         std::size_t blocks) noexcept {
  const __m128i unpack4 = _mm_setr_epi8(11, 10, 9, -128, 8, 7, 6, -128, 5, 4, 3, -128, 2, 1, 0, -128);
  const __m128i unpack2 = _mm_setr_epi8(5, 4, 3, -128, 2, 1, 0, -128, -128, -128, -128, -128, -128,
                                        -128, -128, -128);
  const __m128i pack = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -128, -128, -128, -128);
  for (std::size_t b = 0; b < blocks; ++b, in += 54, out += 54) {
    for (int q = 0; q < 4; ++q) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 3 * (14 - 4 * q)));
      const __m128i y = ReverseLaneSextets(_mm_shuffle_epi8(x, unpack4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12 * q), _mm_shuffle_epi8(y, pack));
    }
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i y = ReverseLaneSextets(_mm_shuffle_epi8(x, unpack2));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), _mm_shuffle_epi8(y, pack));
  }
}

bool HaveSsse3() noexcept {
  static const bool have = __builtin_cpu_supports("ssse3");
  return have;
}
#endif

}  // namespace

void ScrambleBlockReference(std::span<const std::uint8_t, 54> in,
                            std::span<std::uint8_t, 54> out) noexcept {
  std::array<std::uint8_t, 72> groups{};
  for (std::size_t g = 0; g < 72; ++g) {
    const std::size_t bit = 6 * g;
    // Read 6 bits starting at `bit`, most significant bit first.
    unsigned v = 0;
    for (std::size_t i = 0; i < 6; ++i) {
      const std::size_t b = bit + i;
      v = (v << 1) | ((unsigned{in[b / 8]} >> (7 - b % 8)) & 1u);
    }
    groups[g] = static_cast<std::uint8_t>(v);
  }
  std::array<std::uint8_t, 54> res{};
  for (std::size_t g = 0; g < 72; ++g) {
    const unsigned v = groups[71 - g];
    for (std::size_t i = 0; i < 6; ++i) {
      const std::size_t b = 6 * g + i;
      if ((v >> (5 - i)) & 1u) res[b / 8] = static_cast<std::uint8_t>(res[b / 8] | (0x80u >> (b % 8)));
    }
  }
  std::memcpy(out.data(), res.data(), res.size());
}

void ScrambleBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept {
#ifdef SEALDOOR_X86
  if (HaveSsse3()) {
    ScrambleBlocksSsse3(in, out, blocks);
    return;
  }
#endif
  for (std::size_t b = 0; b < blocks; ++b) ScrambleBlockWords(in + 54 * b, out + 54 * b);
}

void ScrambleInPlace(std::span<std::uint8_t> data) noexcept {
  for (std::size_t off = 0; off + 54 <= data.size(); off += 54) ScrambleBlockWords(data.data() + off, data.data() + off);
}

}  // namespace sealdoor::format
