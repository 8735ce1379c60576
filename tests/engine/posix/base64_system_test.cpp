// The codec against the system's own Base64 encoder.

#include <gtest/gtest.h>

#include <string>

#include "../test_support.h"
#include "engine/base64_file_codec.h"
#include "support/run_shell.h"

namespace sealdoor::codec {
namespace {

using test::ReadBytes;
using test::ScratchDir;
using test::WriteBytes;

// The system's own encoder in 72-character lines, with CR LF line ends.
std::string SystemBase64(const std::filesystem::path& file) {
  const std::string out = test::RunShell("base64 -w 72 '" + file.string() + "'").output;
  std::string crlf;
  for (const char c : out) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  return crlf;
}

TEST(Base64FileCodec, EncodesLikeTheSystemAndDecodesBack) {
  ScratchDir dir;
  for (const std::size_t n : std::initializer_list<std::size_t>{0, 1, 2, 3, 51, 52, 53, 54, 55, 107, 108, 109, 702, 100000}) {
    const auto plain = test::RandomBytes(n, static_cast<unsigned>(n));
    WriteBytes(dir / "plain", plain);
    ASSERT_EQ(EncodeBase64File(dir / "plain", dir / "text"), kOk);
    const auto text = ReadBytes(dir / "text");
    EXPECT_EQ(std::string(text.begin(), text.end()), SystemBase64(dir / "plain")) << n;
    ASSERT_EQ(DecodeBase64File(dir / "text", dir / "back"), kOk) << n;
    EXPECT_EQ(ReadBytes(dir / "back"), plain) << n;
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"back", "plain", "text"}));  // no working files
}

}  // namespace
}  // namespace sealdoor::codec
