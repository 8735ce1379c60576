#pragma once
// Whole files to and from Base64 text: lines of 72 characters (54 source
// bytes each), a shorter padded last line, CR LF after every line.

#include <cstdint>
#include <filesystem>

namespace sealdoor::codec {

enum : std::int32_t {
  kOk = 0,
  kCannotRead = 1,   // the source cannot be opened or read
  kCannotWrite = 2,  // the destination cannot be written
  kNotBase64 = 3,    // the source is not text of this form
};

// Writes the Base64 text of `source` to `destination` (created or replaced).
std::int32_t EncodeBase64File(const std::filesystem::path& source,
                              const std::filesystem::path& destination);

// Writes the bytes that the Base64 text `source` stands for to
// `destination`, replacing its content. Text of any other form leaves the
// destination as it was and returns kNotBase64.
std::int32_t DecodeBase64File(const std::filesystem::path& source,
                              const std::filesystem::path& destination);

}  // namespace sealdoor::codec
