#include "base64_file_codec.h"

#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base64.h"
#include "format.h"

namespace sealdoor::codec {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kLinesPerChunk = 1 << 14;

// Writes into a working file beside `destination` and puts it in place only
// when everything succeeded, so a failure never leaves a half-written file.
class Output {
 public:
  static std::unique_ptr<Output> Open(const fs::path& destination) {
    auto out = std::unique_ptr<Output>(new Output(destination));
    if (!out->file_) return nullptr;
    return out;
  }
  ~Output() {
    if (!committed_) {
      file_.close();
      std::error_code ec;
      fs::remove(working_, ec);
    }
  }
  bool Write(std::string_view s) {
    file_.write(s.data(), static_cast<std::streamsize>(s.size()));
    return static_cast<bool>(file_);
  }
  bool Write(std::span<const std::uint8_t> b) {
    return Write(std::string_view(reinterpret_cast<const char*>(b.data()), b.size()));
  }
  bool Commit() {
    file_.close();
    if (!file_) return false;
    std::error_code ec;
    fs::rename(working_, destination_, ec);
    committed_ = !ec;
    return committed_;
  }

 private:
  explicit Output(const fs::path& destination)
      : destination_(destination), working_(fs::path(destination) += ".sealdoor-codec"),
        file_(working_, std::ios::binary | std::ios::trunc) {}
  fs::path destination_;
  fs::path working_;
  std::ofstream file_;
  bool committed_ = false;
};

// Reads until `buf` is full or the file ends; the bytes read, or nullopt.
std::optional<std::size_t> ReadFull(std::ifstream& in, std::vector<std::uint8_t>& buf) {
  in.read(reinterpret_cast<char*>(buf.data()), static_cast<std::streamsize>(buf.size()));
  if (in.bad()) return std::nullopt;
  return static_cast<std::size_t>(in.gcount());
}

}  // namespace

std::int32_t EncodeBase64File(const fs::path& source, const fs::path& destination) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return kCannotRead;
  auto out = Output::Open(destination);
  if (!out) return kCannotWrite;
  std::vector<std::uint8_t> buf(kLinesPerChunk * format::kBlock);
  std::string text;
  for (;;) {
    auto got = ReadFull(in, buf);
    if (!got) return kCannotRead;
    if (*got == 0) break;
    text.clear();
    for (std::size_t off = 0; off < *got; off += format::kBlock) {
      const std::size_t n = std::min(format::kBlock, *got - off);
      base64::EncodeAppend({buf.data() + off, n}, text);
      text += "\r\n";
    }
    if (!out->Write(text)) return kCannotWrite;
    if (*got < buf.size()) break;
  }
  return out->Commit() ? kOk : kCannotWrite;
}

std::int32_t DecodeBase64File(const fs::path& source, const fs::path& destination) {
  std::ifstream in(source, std::ios::binary);
  if (!in) return kCannotRead;
  auto out = Output::Open(destination);
  if (!out) return kCannotWrite;
  std::vector<std::uint8_t> buf(1 << 20);
  std::vector<std::uint8_t> bytes;
  std::string line;  // the line being assembled across reads
  bool ended = false;  // a short last line has been seen
  auto takeLine = [&]() -> bool {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (ended) return false;  // nothing may follow a short line
    if (line.size() != format::kLine) {
      if (line.empty() || line.size() > format::kLine) return false;
      ended = true;
    } else if (line.back() == '=') {
      ended = true;  // a padded full line can only be the last
    }
    const bool ok = base64::DecodeAppend(line, bytes);
    line.clear();
    return ok;
  };
  for (;;) {
    auto got = ReadFull(in, buf);
    if (!got) return kCannotRead;
    bytes.clear();
    for (std::size_t i = 0; i < *got; ++i) {
      const char c = static_cast<char>(buf[i]);
      if (c == '\n') {
        if (!takeLine()) return kNotBase64;
      } else {
        line += c;
        if (line.size() > format::kLine + 1) return kNotBase64;
      }
    }
    if (!bytes.empty() && !out->Write(std::span<const std::uint8_t>(bytes))) return kCannotWrite;
    if (*got < buf.size()) break;
  }
  if (!line.empty()) {  // a last line without its line end
    bytes.clear();
    if (!takeLine()) return kNotBase64;
    if (!out->Write(std::span<const std::uint8_t>(bytes))) return kCannotWrite;
  }
  return out->Commit() ? kOk : kCannotWrite;
}

}  // namespace sealdoor::codec
