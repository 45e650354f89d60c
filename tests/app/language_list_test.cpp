#include "app/language_list.h"

#include <gtest/gtest.h>

#include "app/system_text.h"
#include "platform/codec.h"
#include "test_files.h"

namespace vyrelo::app {
namespace {

using testing::T;
using testing::TempDir;

// UTF-8 source text as the GB18030 bytes a Chinese editor would save.
std::string Gb(const char* utf8) { return Utf8ToText(utf8); }

std::string Utf16Le(const std::string& utf8, bool bom) {
  std::u16string units = platform::Utf8ToUtf16(utf8);
  std::string out = bom ? "\xFF\xFE" : "";
  for (char16_t u : units) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  }
  return out;
}

std::string Utf16Be(const std::string& utf8) {
  std::u16string units = platform::Utf8ToUtf16(utf8);
  std::string out = "\xFE\xFF";
  for (char16_t u : units) {
    out.push_back(static_cast<char>(u >> 8));
    out.push_back(static_cast<char>(u & 0xFF));
  }
  return out;
}

std::vector<std::string> AsUtf8(const TextList& names) {
  std::vector<std::string> out;
  for (const Text& n : names) out.push_back(TextToUtf8String(n));
  return out;
}

struct KeysCase {
  const char* name;
  std::string fileBytes;
  std::vector<std::string> expected;  // UTF-8
};

std::vector<KeysCase> KeysCases() {
  const std::string crlf = Gb("[翻译]\r\n英语=en\r\n日语=ja\r\n");
  // 丂 is 0x81 0x40; 乕 is 0x81 0x5B ('[' as trail byte); 亅 is 0x81 0x7C ('|').
  return {
      {"PlainCrLf", crlf, {"英语", "日语"}},
      {"NoFinalLineBreak", Gb("[翻译]\r\n英语=en\r\n日语=ja"), {"英语", "日语"}},
      {"ValueOfLastEntryIsNoName", Gb("[翻译]\r\n英语=en\r\n日语=ja\r\n"), {"英语", "日语"}},
      {"SpacesAroundNameStay", Gb("[翻译]\r\n 英语 =en\r\n"), {" 英语 "}},
      {"CommentAndBlankLinesAddNothing", Gb("[翻译]\r\n;note\r\n\r\n英语=en\r\n"), {"英语"}},
      {"TwoEqualsGiveTwoNames", Gb("[翻译]\r\n英语=en=x\r\n"), {"英语", "en"}},
      {"LeadingEqualsGivesEmptyName", Gb("[翻译]\r\n=en\r\n日语=ja\r\n"), {"", "日语"}},
      {"LeadingEqualsOnLastNameIsDropped", Gb("[翻译]\r\n日语=ja\r\n=en\r\n"), {"日语"}},
      {"BarSplitsAName", Gb("[翻译]\r\n英|语=en\r\n"), {"英", "语"}},
      {"BracketInValueEndsSection", Gb("[翻译]\r\n英语=e[n\r\n日语=ja\r\n"), {"英语"}},
      {"OnlyFirstSectionCounts", Gb("[翻译]\r\n英语=en\r\n[翻译]\r\n日语=ja\r\n"), {"英语"}},
      {"OtherSectionsAround",
       Gb("[其他]\r\n甲=1\r\n[翻译]\r\n英语=en\r\n[后面]\r\n乙=2\r\n"),
       {"英语"}},
      {"SameNameTwice", Gb("[翻译]\r\n英语=en\r\n英语=en\r\n"), {"英语", "英语"}},
      {"SectionNameIsCaseSensitive", "[Lang]\r\nen=en\r\n", {}},
      {"NoSection", Gb("[其他]\r\n英语=en\r\n"), {}},
      {"SectionWithoutEquals", Gb("[翻译]\r\n英语\r\n"), {}},
      {"EmptySectionAtEnd", Gb("[翻译]"), {}},
      {"ChineseEntryIsListedByParser",
       Gb("[翻译]\r\n中文=zh-CHS\r\n英语=en\r\n"),
       {"中文", "英语"}},
      // Deliberately unlike a CR LF-only parser: today's editors write these.
      {"LineFeedsAlone", Gb("[翻译]\n英语=en\n日语=ja\n"), {"英语", "日语"}},
      {"MixedLineBreaks", Gb("[翻译]\r\n英语=en\n日语=ja\r\n"), {"英语", "日语"}},
      {"Utf8WithoutBom", "[翻译]\r\n英语=en\r\n日语=ja\r\n", {"英语", "日语"}},
      {"Utf8WithBom", "\xEF\xBB\xBF[翻译]\n英语=en\n", {"英语"}},
      {"Utf16LeWithBom", Utf16Le("[翻译]\r\n英语=en\r\n한국어=ko\r\n", true), {"英语", "한국어"}},
      {"Utf16BeWithBom", Utf16Be("[翻译]\r\n英语=en\r\n"), {"英语"}},
      {"Utf16WithoutBomGivesNothing", Utf16Le("[翻译]\r\n英语=en\r\n", false), {}},
      // A GBK character whose second byte is "[" or "|" must not end the
      // section or split the name.
      {"TrailByteBracketInName", Gb("[翻译]\r\n乕语=xx\r\n英语=en\r\n"), {"乕语", "英语"}},
      {"TrailByteBarInName", Gb("[翻译]\r\n亅语=xx\r\n"), {"亅语"}},
      {"TrailByteBracketInSectionBody", Gb("[翻译]\r\n英语=乕\r\n日语=ja\r\n"), {"英语", "日语"}},
  };
}

class ReadIniSectionKeysTest : public ::testing::TestWithParam<KeysCase> {};

TEST_P(ReadIniSectionKeysTest, GivesTheNames) {
  TempDir dir;
  Text path = dir.Write("list.ini", GetParam().fileBytes);
  TextList keys = {T("旧")};
  int count = ReadIniSectionKeys(path, T("翻译"), keys);
  EXPECT_EQ(AsUtf8(keys), GetParam().expected);
  EXPECT_EQ(count, static_cast<int>(GetParam().expected.size()));
}

INSTANTIATE_TEST_SUITE_P(Cases, ReadIniSectionKeysTest, ::testing::ValuesIn(KeysCases()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(ReadIniSectionKeys, MissingFileLeavesKeysAlone) {
  TempDir dir;
  TextList keys = {T("旧")};
  EXPECT_EQ(ReadIniSectionKeys(Utf8ToText(dir.Path() + "/none.ini"), T("翻译"), keys), 0);
  EXPECT_EQ(AsUtf8(keys), std::vector<std::string>{"旧"});
}

TEST(ReadIniSectionKeys, TrailByteCharactersReallyHaveThoseBytes) {
  // Guards the table above: the characters must carry the bytes it relies on.
  EXPECT_EQ(Gb("乕"), "\x81\x5B");
  EXPECT_EQ(Gb("亅"), "\x81\x7C");
}

TEST(ReadIniSectionKeys, FileNameWithChineseCharacters) {
  TempDir dir;
  Text path = dir.Write("翻译.ini", Gb("[翻译]\r\n英语=en\r\n"));
  TextList keys;
  EXPECT_EQ(ReadIniSectionKeys(path, T("翻译"), keys), 1);
}

TEST(LanguageChooserItems, SkipsExactlyChineseAndKeepsPositions) {
  TempDir dir;
  Text path =
      dir.Write("list.ini", Gb("[翻译]\r\n中文=zh-CHS\r\n英语=en\r\n中文 =x\r\n日语=ja\r\n"));
  std::vector<ChooserItem> items = LanguageChooserItems(path);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(TextToUtf8String(items[0].name), "英语");
  EXPECT_EQ(items[0].value, 2);
  EXPECT_EQ(TextToUtf8String(items[1].name), "中文 ");
  EXPECT_EQ(items[1].value, 3);
  EXPECT_EQ(TextToUtf8String(items[2].name), "日语");
  EXPECT_EQ(items[2].value, 4);
}

TEST(LanguageChooserItems, DefaultListOffersTheServiceLanguages) {
  std::vector<ChooserItem> items = LanguageChooserItems(Utf8ToText(VYRELO_DEFAULT_LIST));
  std::vector<std::string> names;
  for (const auto& item : items) names.push_back(TextToUtf8String(item.name));
  for (const char* expected : {"英语", "日语", "韩语", "法语", "德语", "俄语", "西班牙语",
                               "葡萄牙语", "意大利语", "阿拉伯语", "泰语", "越南语"}) {
    EXPECT_NE(std::find(names.begin(), names.end(), expected), names.end()) << expected;
  }
  EXPECT_EQ(std::find(names.begin(), names.end(), "中文"), names.end());
  // The file is stored as its users' editors expect: GB18030 bytes, CR LF.
  std::optional<Text> content = ReadListFile(Utf8ToText(VYRELO_DEFAULT_LIST));
  ASSERT_TRUE(content);
  EXPECT_EQ(IniValueFromText(*content, T("翻译"), T("英语")), "en");
  EXPECT_EQ(IniValueFromText(*content, T("翻译"), T("中文")), "zh-CHS");
}

struct ValueCase {
  const char* name;
  std::string content;   // already decoded system text (GB18030)
  const char* section;   // UTF-8
  const char* key;       // UTF-8
  std::string expected;  // UTF-8
};

std::vector<ValueCase> ValueCases() {
  return {
      {"Simple", Gb("[翻译]\r\n英语=en\r\n"), "翻译", "英语", "en"},
      {"MissingKey", Gb("[翻译]\r\n英语=en\r\n"), "翻译", "日语", ""},
      {"MissingSection", Gb("[其他]\r\n英语=en\r\n"), "翻译", "英语", ""},
      {"KeyInOtherSectionOnly", Gb("[其他]\r\n英语=en\r\n[翻译]\r\n日语=ja\r\n"), "翻译", "英语",
       ""},
      {"CaseOfSectionAndKeyIgnored", "[Lang]\r\nEnglish=en\r\n", "lang", "ENGLISH", "en"},
      {"SpacesAroundNamesIgnored", Gb("[ 翻译 ]\r\n  英语  =  en  \r\n"), "翻译", "英语", "en"},
      {"QuotesRemoved", Gb("[翻译]\r\n英语=\"en\"\r\n"), "翻译", "英语", "en"},
      {"SingleQuotesRemoved", Gb("[翻译]\r\n英语='en'\r\n"), "翻译", "英语", "en"},
      {"UnmatchedQuoteStays", Gb("[翻译]\r\n英语=\"en\r\n"), "翻译", "英语", "\"en"},
      {"FirstOfTwoKeys", Gb("[翻译]\r\n英语=en\r\n英语=fr\r\n"), "翻译", "英语", "en"},
      {"EmptyValue", Gb("[翻译]\r\n英语=\r\n"), "翻译", "英语", ""},
      {"ValueWithEquals", Gb("[翻译]\r\n英语=a=b\r\n"), "翻译", "英语", "a=b"},
      {"SecondSameSectionServesLaterKey", Gb("[翻译]\r\n英语=en\r\n[翻译]\r\n日语=ja\r\n"), "翻译",
       "日语", "ja"},
      // 乗 is 0x81 0x5D: its trail byte is "]"; the header must not end there.
      {"TrailByteBracketInSectionName", Gb("[乗语]\r\nk=v\r\n"), "乗语", "k", "v"},
      // A trail byte that is a letter must not fold: 丄 (81 41) is not 乤 (81 61).
      {"TrailByteLettersDoNotFold", Gb("[翻译]\r\n丄=up\r\n"), "翻译", "乤", ""},
      {"TrailByteLetterKeyMatches", Gb("[翻译]\r\n丄=up\r\n"), "翻译", "丄", "up"},
      {"LongValueCut", Gb("[翻译]\r\nk=") + std::string(20000, 'x') + "\r\n", "翻译", "k",
       std::string(10239, 'x')},
  };
}

class IniValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(IniValueTest, ReadsTheValue) {
  const ValueCase& c = GetParam();
  EXPECT_EQ(TextToUtf8String(IniValueFromText(c.content, T(c.section), T(c.key))), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, IniValueTest, ::testing::ValuesIn(ValueCases()),
                         [](const auto& param) { return std::string(param.param.name); });

TEST(LookupIniValue, SkipsLowBytesAtTheStartAndGivesEmptyForEmptyParts) {
  TempDir dir;
  Text path = dir.Write("list.ini", Gb("[翻译]\r\n英语=en\r\n"));
  EXPECT_EQ(LookupIniValue(path, T("翻译"), T("英语")), "en");
  EXPECT_EQ(LookupIniValue(" \t" + path, "\x01" + T("翻译"), "  " + T("英语")), "en");
  EXPECT_EQ(LookupIniValue(path, T("翻译"), ""), "");
  EXPECT_EQ(LookupIniValue(path, T("翻译"), " \t"), "");
  EXPECT_EQ(LookupIniValue(path, "", T("英语")), "");
  EXPECT_EQ(LookupIniValue(" ", T("翻译"), T("英语")), "");
  EXPECT_EQ(LookupIniValue(Utf8ToText(dir.Path() + "/none.ini"), T("翻译"), T("英语")), "");
}

TEST(LookupIniValue, ReadsTheFileAfreshEachTime) {
  TempDir dir;
  Text path = dir.Write("list.ini", Gb("[翻译]\r\n英语=en\r\n"));
  EXPECT_EQ(LookupIniValue(path, T("翻译"), T("英语")), "en");
  dir.Write("list.ini", Gb("[翻译]\r\n英语=en-GB\r\n"));
  EXPECT_EQ(LookupIniValue(path, T("翻译"), T("英语")), "en-GB");
}

TEST(LookupIniValue, DecodesUtf8AndLineFeeds) {
  TempDir dir;
  Text path = dir.Write("list.ini", "\xEF\xBB\xBF[翻译]\n英语=en\n日语=ja\n");
  EXPECT_EQ(LookupIniValue(path, T("翻译"), T("日语")), "ja");
}

}  // namespace
}  // namespace vyrelo::app
