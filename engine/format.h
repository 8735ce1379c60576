#pragma once
// The locked-file format: a 702-byte head (648-byte key header + 54-byte
// signature) followed by the plain content, every complete 54-byte block
// scrambled and a final incomplete block stored as it is.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace sealdoor::format {

inline constexpr std::size_t kBlock = 54;       // bytes of one block
inline constexpr std::size_t kLine = 72;        // Base64 characters of one block
inline constexpr std::size_t kKeyHeader = 648;  // bytes of the key header
inline constexpr std::size_t kHead = 702;       // key header + signature
inline constexpr std::size_t kHeadLines = 13;   // lines of the head's text form
inline constexpr std::size_t kHeadText = kHeadLines * kLine;  // 936 characters

inline constexpr std::array<std::uint8_t, kBlock> kSignature{
    0xd7, 0xce, 0x36, 0xe3, 0x7d, 0xba, 0xd7, 0x4d, 0xb5, 0xf7, 0x5f, 0x38, 0xdb, 0x8d,
    0xf6, 0xeb, 0x5d, 0x36, 0xd7, 0xdd, 0x7c, 0xe3, 0x6e, 0x37, 0xdb, 0xad, 0x74, 0xdb,
    0x5f, 0x75, 0xf3, 0x8d, 0xb8, 0xdf, 0x6e, 0xb5, 0xd3, 0x6d, 0x7d, 0xd7, 0xce, 0x36,
    0xe3, 0x7d, 0xba, 0xd7, 0x4d, 0xb5, 0xf7, 0x5f, 0x38, 0xdb, 0x8d, 0xf6};

// Header line 13: the text form of the signature.
inline constexpr std::string_view kSignatureLine =
    "184243261021918424326102191842432610219184243261021918424326102191842432";

// True when `head` holds at least 702 bytes and bytes 649..702 are the
// signature. Nothing else of the head or the content is looked at.
[[nodiscard]] bool IsLocked(std::span<const std::uint8_t> head) noexcept;

// The password stored in a head's text form (the 13 header lines joined).
// Slot 0 (the length code) sits at position 26, slot i at 26*i + 25, for
// i = 1..36; positions past the text give empty slots. A length code past the
// last slot (more than 41) makes the head unreadable: nullopt.
[[nodiscard]] std::optional<std::string> ReadStoredPassword(std::string_view headText);

// The same, straight from the 702 bytes of a head.
[[nodiscard]] std::optional<std::string> ReadStoredPassword(
    std::span<const std::uint8_t, kHead> head);

// Number of content lines (blocks, the last one possibly short) of n bytes.
[[nodiscard]] constexpr std::uint64_t ContentLines(std::uint64_t n) noexcept {
  return (n + kBlock - 1) / kBlock;
}

}  // namespace sealdoor::format
