#include "platform/text.h"

#include <gtest/gtest.h>

namespace vyrelo {
namespace {

// 啊 is B0 A1; 癆 (B0 41) and 瓣 (B0 EA) have ASCII or A1-like trail bytes.
constexpr const char* kTrailA = "\xB0\x41";  // a GBK character whose second byte is 'A'

struct FindCase {
  const char* name;
  std::string text;
  std::string needle;
  int start;
  int expected;
};

TEST(TextFind, FindsOnUnitBoundariesOnly) {
  const FindCase cases[] = {
      {"plain", "abcabc", "c", 1, 3},
      {"from start position", "abcabc", "c", 4, 6},
      {"not found", "abc", "x", 1, -1},
      {"start past end", "abc", "a", 5, -1},
      {"empty needle", "abc", "", 2, 2},
      {"empty text", "", "a", 1, -1},
      {"needle longer than text", "ab", "abc", 1, -1},
      {"ascii inside a double-byte char is skipped", std::string(kTrailA) + "A", "A", 1, 3},
      {"double-byte needle", "x\xD6\xD0\xCE\xC4", "\xCE\xC4", 1, 4},
      {"needle straddling two characters is skipped", "\xD6\xD0\xCE\xC4", "\xD0\xCE", 1, -1},
      {"lone lead byte at the end", "ab\xB0", "\xB0", 1, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Find(c.text, c.needle, c.start), c.expected);
  }
}

TEST(TextFind, NoCaseFoldsAsciiOnly) {
  EXPECT_EQ(FindNoCase("Content-TYPE: x", "content-type:"), 1);
  EXPECT_EQ(FindNoCase("x-accept: 1", "ACCEPT:"), 3);
  // 0xC4 and 0xE4 differ only in the bit ASCII folding uses: not letters.
  EXPECT_EQ(FindNoCase("\xC4\xE4", "\xE4\xE4"), -1);
  EXPECT_EQ(RemoveAllNoCase("COOKIE: a=1; cookie:b", "cookie:"), " a=1; b");
  // 丄 (81 41) and 乤 (81 61) differ only in a second byte that has a
  // letter's value: they are different characters.
  EXPECT_EQ(FindNoCase("\x81\x61", "\x81\x41"), -1);
  EXPECT_FALSE(EqualsNoCase("\x81\x61", "\x81\x41"));
  EXPECT_TRUE(EqualsNoCase("a\x81\x41", "A\x81\x41"));
}

struct SplitCase {
  const char* name;
  std::string text;
  std::string separator;
  TextList expected;
};

TEST(TextSplit, FollowsTheSplitRules) {
  const SplitCase cases[] = {
      {"empty text gives no pieces", "", "&", {}},
      {"no separator", "abc", "&", {"abc"}},
      {"trailing separator gives no empty piece", "a&b&", "&", {"a", "b"}},
      {"leading separator gives an empty piece", "&a", "&", {"", "a"}},
      {"adjacent separators give an empty piece", "a&&b", "&", {"a", "", "b"}},
      {"only a separator", "&", "&", {""}},
      {"multi-byte separator", "a\r\nb\r\n\r\nc", "\r\n", {"a", "b", "", "c"}},
      {"separator inside a double-byte char is not a separator",
       std::string("x") + "\xB0\x7C" + "|y",
       "|",
       {"x\xB0\x7C", "y"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Split(c.text, c.separator), c.expected);
  }
}

TEST(TextTrim, RemovesSpacesAndFullWidthSpacesOnly) {
  const struct {
    const char* name;
    std::string in;
    std::string out;
  } cases[] = {
      {"ascii spaces", "  a b  ", "a b"},
      {"full-width spaces",
       "\xA1\xA1"
       "a\xA1\xA1",
       "a"},
      {"mixed", " \xA1\xA1 a \xA1\xA1 ", "a"},
      {"tabs and line breaks stay", "\ta\r\n", "\ta\r\n"},
      {"all spaces", " \xA1\xA1 ", ""},
      {"empty", "", ""},
      // B0 A1 is a character; the A1 that follows is a stray byte, and the two
      // A1 bytes together are not a full-width space.
      {"trail byte is not half a space", "\xB0\xA1\xA1", "\xB0\xA1\xA1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Trim(c.in), c.out);
  }
}

TEST(TextMisc, ConversionsAndFormatting) {
  EXPECT_EQ(TextFromBytes(Bytes{'a', 'b', 0, 'c'}), "ab");
  EXPECT_EQ(TextFromBytes(Bytes{}), "");
  EXPECT_EQ(ToUpperAscii("abc-\xE4z"), "ABC-\xE4Z");
  EXPECT_TRUE(EqualsNoCase("Set-Cookie", "set-cookie"));
  EXPECT_FALSE(EqualsNoCase("Set-Cookie", "Set-Cookies"));
  EXPECT_EQ(FormatInt(-42), "-42");
  EXPECT_EQ(FormatDouble(0.1), "0.1");
  EXPECT_EQ(FormatDouble(1.0 / 3.0), "0.3333333333333");
  EXPECT_EQ(FormatDouble(1e21), "1e+21");
  EXPECT_EQ(TruncateToInt32(-2.9), -2);
  EXPECT_EQ(TruncateToInt32(1e300), 0);
  EXPECT_EQ(ReplaceAll("a\"b\"", "\"", "\\\""), "a\\\"b\\\"");
  EXPECT_EQ(RemoveByte("a\r\nb\r", '\r'), "a\nb");
}

}  // namespace
}  // namespace vyrelo
