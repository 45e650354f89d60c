#include "encoding/code_page.h"

#include <gtest/gtest.h>

namespace vyrelo::encoding {
namespace {

Bytes B(std::initializer_list<int> values) {
  Bytes out;
  for (int v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

Bytes Utf8Bytes(const Text& t) { return BytesFromText(t); }

TEST(TextToUtf16Test, TerminatorRules) {
  EXPECT_EQ(TextToUtf16(""), Bytes{});
  EXPECT_EQ(TextToUtf16("A"), B({0x41, 0, 0, 0}));
  EXPECT_EQ(TextToUtf16("A", true), B({0x41, 0}));
  EXPECT_EQ(TextToUtf16("\xD6\xD0", true), B({0x2D, 0x4E}));  // 中 U+4E2D
}

TEST(CutUtf16AtNulTest, Cases) {
  const struct {
    const char* name;
    Bytes in;
    bool terminator;
    Bytes out;
  } cases[] = {
      {"cut at the zero unit", B({0x41, 0, 0x42, 0, 0, 0, 0x43, 0}), false, B({0x41, 0, 0x42, 0})},
      {"odd trailing byte dropped", B({0x41, 0, 0x42, 0, 0x43}), false, B({0x41, 0, 0x42, 0})},
      {"terminator appended", B({0x41, 0}), true, B({0x41, 0, 0, 0})},
      {"first unit zero", B({0, 0, 0x41, 0}), true, Bytes{}},
      {"shorter than a unit", B({0x41}), false, Bytes{}},
      {"a zero byte inside a unit is not a zero unit", B({0x00, 0x4E, 0, 0}), false,
       B({0x00, 0x4E})},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CutUtf16AtNul(c.in, c.terminator), c.out);
  }
}

TEST(Utf16ToCodePageTest, Cases) {
  EXPECT_EQ(Utf16ToCodePage(B({0x41, 0, 0x42, 0}), 65001), B({0x41, 0x42}));
  EXPECT_EQ(Utf16ToCodePage(B({0, 0, 0x41, 0}), 65001), Bytes{});
  EXPECT_EQ(Utf16ToCodePage(B({0x2D, 0x4E}), 936), B({0xD6, 0xD0}));
  EXPECT_EQ(Utf16ToCodePage(B({0x2D, 0x4E}), 1252), B({'?'}));
  EXPECT_EQ(Utf16ToCodePage(B({0x41, 0}), 12345), Bytes{});
}

TEST(CodePageToUtf16Test, Cases) {
  EXPECT_EQ(CodePageToUtf16(B({0xD6, 0xD0}), 936), B({0x2D, 0x4E, 0, 0}));
  EXPECT_EQ(CodePageToUtf16(B({0x41, 0, 0x42}), 65001), B({0x41, 0, 0, 0}));
  EXPECT_EQ(CodePageToUtf16(Bytes{}, 936), Bytes{});
  EXPECT_EQ(CodePageToUtf16(B({0x41}), 12345), Bytes{});
  EXPECT_EQ(Utf16ToText(CodePageToUtf16(B({0xE4, 0xB8, 0xAD}), 65001)), "\xD6\xD0");
}

// Characters outside code page 936 survive: the system text is GB18030.
TEST(TextToUtf8Test, KeepsEveryCharacter) {
  const struct {
    const char* name;
    Text text;
    Text utf8;
  } cases[] = {
      {"two Chinese characters", "\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"pure ASCII comes back unchanged", "Hello, world &=+#", "Hello, world &=+#"},
      {"Korean syllable", "\x83\x36\x84\x33", "\xED\x95\x9C"},
      {"Thai letter", "\x81\x32\xCE\x39", "\xE0\xB8\x81"},
      {"emoji", "\x94\x39\xFC\x36", "\xF0\x9F\x98\x80"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Text utf8 = TextToUtf8(c.text);
    EXPECT_EQ(utf8, c.utf8);
    // And back: UTF-8 -> UTF-16 -> system text.
    EXPECT_EQ(Utf16ToText(CodePageToUtf16(Utf8Bytes(utf8), 65001)), c.text);
    EXPECT_EQ(Utf16ToText(TextToUtf16(c.text)), c.text);
  }
}

TEST(TextToUtf8Test, StopsAtTheFirstZeroByte) { EXPECT_EQ(TextToUtf8(Text("ab\0cd", 5)), "ab"); }

}  // namespace
}  // namespace vyrelo::encoding
