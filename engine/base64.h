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

}  // namespace sealdoor::base64
