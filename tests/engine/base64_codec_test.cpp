#include <gtest/gtest.h>

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
