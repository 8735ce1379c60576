// DecodeBase64File on arbitrary text: no crash, and what it accepts encodes
// back to text that decodes to the same bytes.

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/base64_file_codec.h"

namespace {

std::filesystem::path Folder() {
  static const std::filesystem::path folder = [] {
    auto p = std::filesystem::temp_directory_path() / ("sealdoor-fuzz-" + std::to_string(::getpid()));
    std::filesystem::create_directories(p);
    return p;
  }();
  return folder;
}

std::string Read(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  namespace codec = sealdoor::codec;
  const auto text = Folder() / "text", bytes = Folder() / "bytes", again = Folder() / "again",
             back = Folder() / "back";
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
