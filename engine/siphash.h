#pragma once
// SipHash-2-4 (Aumasson and Bernstein): a keyed 64-bit hash made to
// authenticate short messages. Sealdoor signs the records of its journals
// with it, so that a later run acts only on journals a run of this user
// wrote, in that very folder.

#include <array>
#include <cstdint>
#include <string_view>

namespace sealdoor {

using SipKey = std::array<std::uint8_t, 16>;

[[nodiscard]] std::uint64_t SipHash24(const SipKey& key, std::string_view message) noexcept;

}  // namespace sealdoor
