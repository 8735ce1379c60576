#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include "engine/base64.h"
#include "engine/base64_file_codec.h"
#include "test_support.h"

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

TEST(Base64FileCodec, DecodingReplacesTheWholeContent) {
  ScratchDir dir;
  WriteBytes(dir / "dest", std::vector<std::uint8_t>(5000, 7));
  const std::string text = "QUJD\r\n";
  WriteBytes(dir / "text", {text.begin(), text.end()});
  ASSERT_EQ(DecodeBase64File(dir / "text", dir / "dest"), kOk);
  EXPECT_EQ(ReadBytes(dir / "dest"), (std::vector<std::uint8_t>{'A', 'B', 'C'}));
}

TEST(Base64FileCodec, TextOfAnotherFormFailsAndLeavesTheDestinationAlone) {
  ScratchDir dir;
  const std::vector<std::uint8_t> before(100, 9);
  const std::string full(72, 'A');
  const std::vector<std::string> bad = {
      "not base64 at all!\r\n",
      full + "\r\nQUJD\r\n" + full + "\r\n",                 // a line after a short line
      std::string(71, 'A') + "=\r\n" + full + "\r\n",        // padding before the end
      "QUJ\r\n",                                             // not a multiple of 4
      std::string(76, 'A') + "\r\n",                         // a line that is too long
      full + "\r\n\r\n",                                     // an empty line
  };
  for (const auto& text : bad) {
    WriteBytes(dir / "dest", before);
    WriteBytes(dir / "text", {text.begin(), text.end()});
    EXPECT_EQ(DecodeBase64File(dir / "text", dir / "dest"), kNotBase64) << text;
    EXPECT_EQ(ReadBytes(dir / "dest"), before);
  }
  EXPECT_EQ(dir.Names(), (std::vector<std::string>{"dest", "text"}));
  EXPECT_EQ(DecodeBase64File(dir / "missing", dir / "dest"), kCannotRead);
  EXPECT_EQ(EncodeBase64File(dir / "missing", dir / "out"), kCannotRead);
  EXPECT_EQ(EncodeBase64File(dir / "dest", dir / "no-folder" / "out"), kCannotWrite);
}

}  // namespace
}  // namespace sealdoor::codec
