// The stream object and the charset conversion that drives it.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "encoding/stream_charset.h"
#include "encoding/stream_object.h"
#include "platform/automation.h"

namespace vyrelo::encoding {
namespace {

using namespace vyrelo::platform;

Bytes B(std::string_view s) { return Bytes(s.begin(), s.end()); }

std::string Hex(const Bytes& bytes) {
  static const char* digits = "0123456789ABCDEF";
  std::string out;
  for (std::uint8_t b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

class StreamCharsetTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterStreamObject(); }
};

struct ConversionCase {
  const char* name;
  std::string input;
  const char* from;
  const char* to;
  std::optional<int> readPosition;
  std::string expected;
};

class ConvertCharsetCases : public StreamCharsetTest,
                            public ::testing::WithParamInterface<ConversionCase> {};

TEST_P(ConvertCharsetCases, Converts) {
  const ConversionCase& c = GetParam();
  Text from = c.from;
  Text to = c.to;
  const Bytes input = B(c.input);
  const Bytes out = ConvertCharset(input, from, to, c.readPosition);
  EXPECT_EQ(Hex(out), Hex(B(c.expected)));
  EXPECT_EQ(input, B(c.input)) << "the input is not changed";
}

// 中文 in UTF-8, GBK and Big5.
const std::string kZhUtf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string kZhGbk = "\xD6\xD0\xCE\xC4";

INSTANTIATE_TEST_SUITE_P(
    Table, ConvertCharsetCases,
    ::testing::Values(
        ConversionCase{"EmptyInput", "", "", "", std::nullopt, ""},
        ConversionCase{"EmptyInputToUtf8GetsNoMark", "", "GBK", "UTF-8", std::nullopt, ""},
        ConversionCase{"ChineseUtf8ToGbk", kZhUtf8, "", "", std::nullopt, kZhGbk},
        ConversionCase{"AsciiUnchanged", "hello, world 123 {}\r\n", "", "", std::nullopt,
                       "hello, world 123 {}\r\n"},
        ConversionCase{"NamesIgnoreCase", kZhUtf8, "utf-8", "gbk", std::nullopt, kZhGbk},
        ConversionCase{"Utf8MarkOfInputSkipped", "\xEF\xBB\xBF" + kZhUtf8, "UTF-8", "GBK",
                       std::nullopt, kZhGbk},
        ConversionCase{"Utf8TargetStartsWithMark", kZhGbk, "GBK", "UTF-8", std::nullopt,
                       "\xEF\xBB\xBF" + kZhUtf8},
        ConversionCase{"ReadPosition3SkipsTheMark", kZhGbk, "GBK", "UTF-8", 3, kZhUtf8},
        ConversionCase{"ReadPosition3DropsThreeBytes", "abcdef", "UTF-8", "GBK", 3, "def"},
        ConversionCase{"ReadPositionPastTheEnd", "abc", "UTF-8", "GBK", 10, ""},
        ConversionCase{"UnicodeTargetIsLittleEndianWithMark", "a\xE4\xB8\xAD", "UTF-8", "unicode",
                       std::nullopt,
                       std::string("\xFF\xFE"
                                   "a\0\x2D\x4E",
                                   6)},
        ConversionCase{"Utf16IsTheSameAsUnicode", "a", "UTF-8", "utf-16", std::nullopt,
                       std::string("\xFF\xFE"
                                   "a\0",
                                   4)},
        ConversionCase{"UnicodeSourceMarkSkipped", std::string("\xFF\xFE\x2D\x4E", 4), "Unicode",
                       "GBK", std::nullopt, "\xD6\xD0"},
        ConversionCase{"Gb18030Source", kZhGbk, "GB18030", "UTF-8", 3, kZhUtf8},
        ConversionCase{"Gb2312IsServedByGb18030", "\xEC\x95\x88", "UTF-8", "gb2312", std::nullopt,
                       "\x83\x32\xE0\x37"},
        ConversionCase{"Big5", kZhUtf8, "UTF-8", "Big5", std::nullopt, "\xA4\xA4\xA4\xE5"},
        ConversionCase{"Latin1", "caf\xC3\xA9", "UTF-8", "iso-8859-1", std::nullopt, "caf\xE9"},
        ConversionCase{"Windows1252Euro", "\xE2\x82\xAC", "UTF-8", "Windows-1252", std::nullopt,
                       "\x80"},
        ConversionCase{"AsciiReplacesWhatItLacks", "a\xC3\xA9", "UTF-8", "us-ascii", std::nullopt,
                       "a?"},
        ConversionCase{"AsciiAlias", "abc", "ascii", "ascii", std::nullopt, "abc"},
        ConversionCase{"ZeroBytesPassThrough", std::string("a\0b", 3), "UTF-8", "GBK", std::nullopt,
                       std::string("a\0b", 3)},
        ConversionCase{"UnknownSourceCharset", kZhUtf8, "no-such-charset", "GBK", std::nullopt, ""},
        ConversionCase{"UnknownTargetCharset", kZhUtf8, "UTF-8", "no-such-charset", std::nullopt,
                       ""}),
    [](const ::testing::TestParamInfo<ConversionCase>& param) { return param.param.name; });

TEST_F(StreamCharsetTest, EmptyCharsetsTakeTheDefaultsAndWriteThemBack) {
  Text from;
  Text to;
  EXPECT_EQ(ConvertCharset(B(kZhUtf8), from, to), B(kZhGbk));
  EXPECT_EQ(from, "UTF-8");
  EXPECT_EQ(to, "GBK");

  Text onlyTo = "UTF-8";
  Text given = "Big5";
  ConvertCharset(B("x"), onlyTo, given);
  EXPECT_EQ(onlyTo, "UTF-8");
  EXPECT_EQ(given, "Big5") << "a given charset stays as it was";

  EXPECT_EQ(ConvertCharset(B(kZhUtf8)), B(kZhGbk));
}

// GBK lacks Hangul; served by GB18030 the reply reaches the window whole and
// converts back to exactly the bytes the service sent.
TEST_F(StreamCharsetTest, KoreanReplySurvivesTheRoundTrip) {
  const std::string korean =
      "\xEC\x95\x88\xEB\x85\x95\xED\x95\x98\xEC\x84\xB8\xEC\x9A\x94";  // 안녕하세요
  const Bytes system = ConvertCharset(B(korean));
  ASSERT_EQ(system.size(), 20u) << "five characters in GB18030's four-byte form";
  EXPECT_EQ(Hex(Bytes(system.begin(), system.begin() + 4)), "83 32 E0 37");
  for (std::uint8_t b : system) EXPECT_NE(b, '?');

  Text from = "GBK";
  Text to = "UTF-8";
  EXPECT_EQ(ConvertCharset(system, from, to, 3), B(korean));
}

TEST_F(StreamCharsetTest, FailsQuietlyWhenTheStreamCannotBeCreated) {
  const int depth = ComInitCount();
  {
    ScopedObjectOverride noStream(kStreamProgId, nullptr);
    EXPECT_TRUE(ConvertCharset(B(kZhUtf8)).empty());
  }
  EXPECT_EQ(ComInitCount(), depth) << "the conversion undoes its own initialisation";
  EXPECT_EQ(ConvertCharset(B(kZhUtf8)), B(kZhGbk));
}

TEST_F(StreamCharsetTest, ConvertsOnAThreadThatNeverInitialised) {
  Bytes out;
  std::thread worker([&] { out = ConvertCharset(B(kZhUtf8)); });
  worker.join();
  EXPECT_EQ(out, B(kZhGbk));
}

TEST_F(StreamCharsetTest, StreamRecodeNeedsAnInitialisedThread) {
  Bytes out = B("x");
  std::thread worker([&] { out = StreamRecode(B(kZhUtf8), "UTF-8", "GBK"); });
  worker.join();
  EXPECT_TRUE(out.empty());
}

// --- The stream object's own members -------------------------------------------------

class StreamObjectTest : public StreamCharsetTest {
 protected:
  void SetUp() override {
    StreamCharsetTest::SetUp();
    ASSERT_TRUE(CreateObject(stream_, kStreamProgId));
  }
  void TearDown() override { ClearObject(stream_); }

  Bytes ReadAll() {
    SetProperty(stream_, "Position", {std::int32_t{0}});
    SetProperty(stream_, "Type", {std::int32_t{kStreamTypeBinary}});
    return VariantToBytes(CallVariantMethod(stream_, "Read"));
  }

  ComScope com_;
  ComObject stream_;
};

TEST_F(StreamObjectTest, CreatedByProgIdInAnyCaseAndByClsid) {
  ComObject other;
  EXPECT_TRUE(CreateObject(other, "ADODB.STREAM"));
  EXPECT_TRUE(CreateObject(other, kStreamClsid));
  EXPECT_FALSE(other == stream_);
  RegisterStreamObject();  // a second registration changes nothing
  EXPECT_TRUE(CreateObject(other, kStreamProgId));
}

TEST_F(StreamObjectTest, StartsAsAClosedTextStreamInUnicode) {
  EXPECT_EQ(GetNumberProperty(stream_, "Type"), 2.0);
  EXPECT_EQ(GetTextProperty(stream_, "Charset"), "Unicode");
  GetNumberProperty(stream_, "Position");
  EXPECT_EQ(GetAutomationError(stream_), "发现异常");
  EXPECT_EQ(GetAutomationErrorDetail(), "the stream is not open");
}

TEST_F(StreamObjectTest, WriteTextMarksOnlyAnEmptyStream) {
  CallMethod(stream_, "Open");
  SetProperty(stream_, "Charset", {"UTF-8"});
  CallMethod(stream_, "WriteText", {"a"});
  CallMethod(stream_, "WriteText", {"b"});
  EXPECT_EQ(GetAutomationError(stream_), "");
  EXPECT_EQ(GetNumberProperty(stream_, "Size"), 5.0);
  EXPECT_EQ(ReadAll(), B("\xEF\xBB\xBF"
                         "ab"));
}

TEST_F(StreamObjectTest, WriteTextLineAppendsCrLf) {
  CallMethod(stream_, "Open");
  SetProperty(stream_, "Charset", {"GBK"});
  CallMethod(stream_, "WriteText", {"x", std::int32_t{1}});
  EXPECT_EQ(ReadAll(), B("x\r\n"));
}

TEST_F(StreamObjectTest, ReadTextSkipsOnlyTheMarkOfItsOwnCharsetAtTheStart) {
  CallMethod(stream_, "Open");
  SetProperty(stream_, "Type", {std::int32_t{kStreamTypeBinary}});
  Variant bytes;
  VariantFromBytes(bytes, B("\xEF\xBB\xBF"
                            "ab"));
  CallMethod(stream_, "Write", {bytes});
  SetProperty(stream_, "Position", {std::int32_t{0}});
  SetProperty(stream_, "Type", {std::int32_t{kStreamTypeText}});
  SetProperty(stream_, "Charset", {"UTF-8"});
  EXPECT_EQ(CallTextMethod(stream_, "ReadText"), "ab");
  EXPECT_TRUE(GetBoolProperty(stream_, "EOS"));

  // Read as Latin-1 the same bytes are three characters more.
  SetProperty(stream_, "Position", {std::int32_t{0}});
  SetProperty(stream_, "Charset", {"iso-8859-1"});
  // ï»¿ in the system charset: GB18030's four-byte forms.
  EXPECT_EQ(CallTextMethod(stream_, "ReadText"),
            "\x81\x30\x8A\x37\x81\x30\x86\x33\x81\x30\x86\x37"
            "ab");
}

TEST_F(StreamObjectTest, ModesAreEnforced) {
  CallMethod(stream_, "Open");
  Variant bytes;
  VariantFromBytes(bytes, B("ab"));
  CallMethod(stream_, "Write", {bytes});  // a text stream
  EXPECT_EQ(GetAutomationError(stream_), "发现异常");
  SetProperty(stream_, "Type", {std::int32_t{kStreamTypeBinary}});
  CallMethod(stream_, "Write", {bytes});
  EXPECT_EQ(GetAutomationError(stream_), "");
  CallTextMethod(stream_, "ReadText");
  EXPECT_EQ(GetAutomationError(stream_), "发现异常");
  EXPECT_FALSE(SetProperty(stream_, "Type", {std::int32_t{kStreamTypeText}}))
      << "position 2: the type stays";
  EXPECT_FALSE(SetProperty(stream_, "Type", {std::int32_t{3}}));
  EXPECT_FALSE(SetProperty(stream_, "Position", {std::int32_t{-1}}));
}

TEST_F(StreamObjectTest, ReadTakesACountAndWriteOverwritesAtThePosition) {
  CallMethod(stream_, "Open");
  SetProperty(stream_, "Type", {std::int32_t{kStreamTypeBinary}});
  Variant bytes;
  VariantFromBytes(bytes, B("abcdef"));
  CallMethod(stream_, "Write", {bytes});
  SetProperty(stream_, "Position", {std::int32_t{1}});
  EXPECT_EQ(VariantToBytes(CallVariantMethod(stream_, "Read", {std::int32_t{2}})), B("bc"));
  EXPECT_EQ(GetNumberProperty(stream_, "Position"), 3.0);
  VariantFromBytes(bytes, B("XYZW"));
  CallMethod(stream_, "Write", {bytes});
  EXPECT_EQ(ReadAll(), B("abcXYZW"));
}

TEST_F(StreamObjectTest, CloseDropsTheContent) {
  CallMethod(stream_, "Open");
  SetProperty(stream_, "Charset", {"GBK"});
  CallMethod(stream_, "WriteText", {"abc"});
  CallMethod(stream_, "Close");
  CallMethod(stream_, "Open");
  EXPECT_EQ(GetNumberProperty(stream_, "Size"), 0.0);
  CallMethod(stream_, "Open");
  EXPECT_EQ(GetAutomationError(stream_), "发现异常") << "already open";
}

TEST_F(StreamObjectTest, UnknownCharsetFailsTheTextMembers) {
  CallMethod(stream_, "Open");
  EXPECT_TRUE(SetProperty(stream_, "Charset", {"klingon"}));
  CallMethod(stream_, "WriteText", {"abc"});
  EXPECT_EQ(GetAutomationError(stream_), "发现异常");
  EXPECT_EQ(GetAutomationErrorDetail(), "unknown charset \"klingon\"");
  EXPECT_EQ(GetNumberProperty(stream_, "Size"), 0.0);
}

TEST(StreamCharsetNames, Resolve) {
  struct Case {
    const char* name;
    std::optional<std::string> icu;
    std::string mark;
  };
  const Case cases[] = {
      {"GBK", "gb18030", ""},
      {"gb2312", "gb18030", ""},
      {"936", "gb18030", ""},
      {" Gb18030 ", "gb18030", ""},
      {"UTF-8", "utf-8", "\xEF\xBB\xBF"},
      {"utf8", "utf8", "\xEF\xBB\xBF"},
      {"Unicode", "UTF-16LE", "\xFF\xFE"},
      {"UTF-16", "UTF-16LE", "\xFF\xFE"},
      {"Big5", "big5", ""},
      {"", std::nullopt, ""},
      {"no-such", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const auto got = ResolveStreamCharset(c.name);
    ASSERT_EQ(got.has_value(), c.icu.has_value());
    if (!got) continue;
    EXPECT_EQ(got->icuName, *c.icu);
    EXPECT_EQ(got->mark, c.mark);
  }
}

}  // namespace
}  // namespace vyrelo::encoding
