#pragma once
// Standard Base64 (RFC 4648 alphabet, "=" padding), in memory.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace sealdoor::base64 {

[[nodiscard]] std::string Encode(std::span<const std::uint8_t> bytes);

// Appends the encoding of `bytes` to `out`.
void EncodeAppend(std::span<const std::uint8_t> bytes, std::string& out);

// Decodes a text whose length is a multiple of 4, with padding only at its
// end. Anything else (a foreign character, bad padding) gives nullopt.
[[nodiscard]] std::optional<std::vector<std::uint8_t>> Decode(std::string_view text);

// Appends the decoding of `text` to `out`; false (out unspecified) when the
// text is not valid Base64 as above.
[[nodiscard]] bool DecodeAppend(std::string_view text, std::vector<std::uint8_t>& out);

// Decodes a text without padding into exactly `out.size()` bytes, for a
// result of known length (such as a head) without any allocation; false
// when the lengths do not match or the text is not valid Base64.
[[nodiscard]] bool DecodeInto(std::string_view text, std::span<std::uint8_t> out) noexcept;

}  // namespace sealdoor::base64
