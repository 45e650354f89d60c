#include "platform/codec.h"

#include <gtest/gtest.h>

namespace vyrelo::platform {
namespace {

struct RoundTrip {
  const char* name;
  std::u16string units;
  std::string gb18030;  // the system text's bytes
};

// Characters code page 936 cannot hold take GB18030's four-byte form; GBK's
// own characters keep their two bytes.
TEST(SystemCharset, RoundTripsEveryCharacter) {
  const RoundTrip cases[] = {
      {"Chinese keeps its GBK bytes", u"中文", "\xD6\xD0\xCE\xC4"},
      {"ASCII", u"abc", "abc"},
      {"Korean syllable", u"\uD55C", "\x83\x36\x84\x33"},
      {"Thai letter", u"\u0E01", "\x81\x32\xCE\x39"},
      {"emoji outside the BMP", u"\U0001F600", "\x94\x39\xFC\x36"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16ToSystemText(c.units), c.gb18030);
    EXPECT_EQ(SystemTextToUtf16(c.gb18030), c.units);
    EXPECT_EQ(Utf8ToUtf16(Utf16ToUtf8(c.units)), c.units);
  }
}

TEST(SystemCharset, InvalidBytesBecomeReplacementCharacters) {
  EXPECT_EQ(SystemTextToUtf16("a\xFF"), u"a\uFFFD");
}

TEST(IcuConverterTest, UnknownNameIsInvalidWithReason) {
  IcuConverter c("no-such-charset");
  EXPECT_FALSE(c.Valid());
  EXPECT_FALSE(c.Error().empty());
  EXPECT_TRUE(c.ToUtf16("abc").empty());
  EXPECT_TRUE(c.FromUtf16(u"abc").empty());
}

TEST(IcuConverterTest, LegacyCodePagesWriteQuestionMarks) {
  IcuConverter latin("windows-1252");
  ASSERT_TRUE(latin.Valid());
  EXPECT_EQ(latin.FromUtf16(u"a\u4E2D"), "a?");
}

TEST(CodePageNames, MapToIcuConverters) {
  EXPECT_EQ(CharsetForCodePage(0), kSystemCharset);
  EXPECT_EQ(CharsetForCodePage(936), kSystemCharset);
  EXPECT_EQ(CharsetForCodePage(65001), "UTF-8");
  EXPECT_EQ(CharsetForCodePage(1252), "windows-1252");
  EXPECT_EQ(CharsetForCodePage(12345), "");
}

}  // namespace
}  // namespace vyrelo::platform
