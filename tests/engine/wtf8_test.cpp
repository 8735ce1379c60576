// Names as Windows gives them, carried as text: every sequence of 16-bit
// units comes back exactly, a lone surrogate included, and valid UTF-16
// is plain UTF-8.

#include <gtest/gtest.h>

#include <string>

#include "engine/wtf8.h"

namespace sealdoor {
namespace {

TEST(Wtf8, EveryNameComesBackUnitForUnit) {
  struct Case {
    const char* what;
    std::u16string units;
    std::string text;
  };
  const Case cases[] = {
      {"letters", u"report.doc", "report.doc"},
      {"other scripts", u"\u0444\u0430\u0439\u043b \u6587\u4ef6",
       "\xd1\x84\xd0\xb0\xd0\xb9\xd0\xbb \xe6\x96\x87\xe4\xbb\xb6"},
      {"a pair beyond the first plane", u"a\U0001F600b", "a\xf0\x9f\x98\x80" "b"},
      {"a lone high surrogate", std::u16string{u'a', char16_t(0xD800), u'.', u't'}, "a\xed\xa0\x80.t"},
      {"a lone low surrogate", std::u16string{u'a', char16_t(0xDC00)}, "a\xed\xb0\x80"},
      {"a low before a high", std::u16string{char16_t(0xDC01), char16_t(0xD801)}, "\xed\xb0\x81\xed\xa0\x81"},
      {"a high at the end", std::u16string{u'x', char16_t(0xDBFF)}, "x\xed\xaf\xbf"},
      {"the replacement character itself", u"a\uFFFD.txt", "a\xef\xbf\xbd.txt"},
      {"nothing", u"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Wtf8FromUtf16(c.units), c.text) << c.what;
    EXPECT_TRUE(Utf16FromWtf8(c.text) == c.units) << c.what;
  }
  // A lone surrogate and U+FFFD are different names.
  EXPECT_NE(Wtf8FromUtf16(std::u16string{u'a', char16_t(0xD800)}), Wtf8FromUtf16(u"a\uFFFD"));
}

TEST(Wtf8, BytesThatBeginNoCharacterBecomeTheReplacementCharacter) {
  EXPECT_TRUE(Utf16FromWtf8("a\xff" "b") == u"a\uFFFDb");
  EXPECT_TRUE(Utf16FromWtf8("\xe6\x96") == u"\uFFFD\uFFFD");      // cut short
  EXPECT_TRUE(Utf16FromWtf8("\xc0\xaf") == u"\uFFFD\uFFFD");      // an overlong "/"
  EXPECT_TRUE(Utf16FromWtf8("\xf4\x90\x80\x80") == u"\uFFFD\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
}

}  // namespace
}  // namespace sealdoor
