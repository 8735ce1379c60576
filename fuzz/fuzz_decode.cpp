// DecodeBase64File on arbitrary text: no crash, and what it accepts encodes
// back to text that decodes to the same bytes.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_folder.h"
#include "engine/base64_file_codec.h"

namespace {

std::string Read(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace codec = sealdoor::codec;
  const auto text = FuzzFolder() / "text", bytes = FuzzFolder() / "bytes", again = FuzzFolder() / "again",
             back = FuzzFolder() / "back";
  {
    std::ofstream out(text, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  std::filesystem::remove(bytes);
  if (codec::DecodeBase64File(text, bytes) != codec::kOk) {
    if (std::filesystem::exists(bytes)) __builtin_trap();  // nothing written on failure
    return 0;
  }
  if (codec::EncodeBase64File(bytes, again) != codec::kOk) __builtin_trap();
  if (codec::DecodeBase64File(again, back) != codec::kOk) __builtin_trap();
  if (Read(back) != Read(bytes)) __builtin_trap();
  return 0;
}
