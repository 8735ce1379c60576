#include "base64_file_codec.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "base64.h"
#include "format.h"
#include "posix_io.h"
#include "replacement_file.h"

namespace sealdoor::codec {
namespace fs = std::filesystem;
namespace {

constexpr std::size_t kLinesPerChunk = 1 << 14;

// Writes into a working file beside `destination` and puts it in place only
// when everything succeeded, so a failure never leaves a half-written file.
class Output {
 public:
  static std::unique_ptr<Output> Open(const fs::path& destination) {
    std::error_code ec;
    fs::path target = fs::weakly_canonical(destination, ec);
    if (ec) target = destination;
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      st.st_mode = 0666 & ~mask;
      st.st_uid = ::geteuid();
      st.st_gid = ::getegid();
    }
    SystemRandom random;
    auto file = ReplacementFile::Create(target.parent_path(), random);
    if (!file) return nullptr;
    return std::unique_ptr<Output>(new Output(std::move(*file), target.filename().string(), st));
  }
  bool Write(std::string_view s) {
    return file_.Write({reinterpret_cast<const std::uint8_t*>(s.data()), s.size()}).has_value();
  }
  bool Write(std::span<const std::uint8_t> b) { return file_.Write(b).has_value(); }
  bool Commit() { return file_.Commit(name_, st_).has_value(); }

 private:
  Output(ReplacementFile f, std::string name, const struct stat& st)
      : file_(std::move(f)), name_(std::move(name)), st_(st) {}
  ReplacementFile file_;
  std::string name_;
  struct stat st_;
};

}  // namespace

std::int32_t EncodeBase64File(const fs::path& source, const fs::path& destination) {
  auto in = io::Open(source, O_RDONLY);
  if (!in) return kCannotRead;
  auto out = Output::Open(destination);
  if (!out) return kCannotWrite;
  std::vector<std::uint8_t> buf(kLinesPerChunk * format::kBlock);
  std::string text;
  for (;;) {
    auto got = io::ReadFull(in->Get(), buf);
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
  auto in = io::Open(source, O_RDONLY);
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
    auto got = io::ReadFull(in->Get(), buf);
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
