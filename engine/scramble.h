#pragma once
// The content scramble: a 54-byte block is 72 six-bit groups, and scrambling
// writes them in reverse order. This equals "encode to 72 Base64 characters,
// reverse them, decode" and is its own inverse.

#include <cstddef>
#include <cstdint>
#include <span>

namespace sealdoor::format {

// Extra bytes that ScrambleBlocks may read past the end of `in` and write past
// the end of `out` (with garbage) for speed. Buffers handed to it must have
// this much slack behind the blocks; ScrambleBuffer below takes care of it.
inline constexpr std::size_t kScrambleSlack = 16;

// Scrambles in.size() / 54 complete blocks from `in` into `out` (which must
// not overlap `in`). Both spans must be followed by kScrambleSlack bytes of
// memory the caller owns.
void ScrambleBlocks(const std::uint8_t* in, std::uint8_t* out, std::size_t blocks) noexcept;

// The plain reference: one block, no slack needed, in and out may alias.
void ScrambleBlockReference(std::span<const std::uint8_t, 54> in,
                            std::span<std::uint8_t, 54> out) noexcept;

// Scramble the complete blocks of `data` in place and leave a trailing
// incomplete block unchanged. Convenient and slack-free; slower.
void ScrambleInPlace(std::span<std::uint8_t> data) noexcept;

}  // namespace sealdoor::format
