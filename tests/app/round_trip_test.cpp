#include "app/round_trip.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include "app/system_text.h"
#include "standin_server.h"
#include "test_files.h"

namespace vyrelo::app {
namespace {

using testing::T;

class RegisterObjects : public ::testing::Environment {
 public:
  void SetUp() override { RegisterSystemObjects(); }
};
const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new RegisterObjects);

class RoundTripTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_GT(server_.Start(), 0);
    settings_.host = server_.HostAndPort();
    settings_.origin = "chrome-extension://testextensionid";
  }

  // The whole road: request, then the pick at the translation's path.
  std::string Translate(const char* textUtf8, const char* to = "en") {
    Text reply = RequestTranslation(kChineseCode, to, T(textUtf8), settings_);
    return TextToUtf8String(PickJsonField(reply, "data.translate.dit"));
  }

  standin::StandinServer server_;
  ServiceSettings settings_;
};

TEST_F(RoundTripTest, SendsTheExtensionsRequest) {
  RequestTranslation(kChineseCode, "en", T("你好 world"), settings_);
  auto request = server_.LastRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->method, "POST");
  EXPECT_EQ(request->target,
            "/se/translate_3in1?h=3C6A1D0E58B27F94E0D3A6C71B5F28D4&r=0000&v=10.0.2.33514?");
  EXPECT_EQ(request->body,
            "pid=sogou-dict-fanyi-search-engine&from=zh-CHS&to=en&text=%E4%BD%A0%E5%A5%BD%20world");

  const std::string url = "http://" + settings_.host +
                          "/se/translate_3in1?h=3C6A1D0E58B27F94E0D3A6C71B5F28D4&r=0000&v=10.0.2."
                          "33514?";
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"Host", settings_.host},
      {"Accept", "application/json, text/javascript"},
      {"Origin", "chrome-extension://testextensionid"},
      {"X-Requested-With", "XMLHttpRequest"},
      {"User-Agent",
       "Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
       "Chrome/72.0.3626.81 Safari/537.36 SE 2.X MetaSr 1.0"},
      {"Accept-Language", "zh-CN,zh;q=0.9"},
      {"Referer", url},
      {"Content-Type", "application/x-www-form-urlencoded"},
  };
  // The client library adds headers of its own (Content-Length); ours must
  // come in this order, each once.
  std::vector<std::pair<std::string, std::string>> ours;
  for (const auto& header : request->headers) {
    for (const auto& want : expected) {
      if (header.first == want.first) ours.push_back(header);
    }
  }
  EXPECT_EQ(ours, expected);
}

TEST_F(RoundTripTest, ReservedCharactersArriveAsTyped) {
  // With encodeURI the text would end at "&", "+" would become a space and
  // "=" or "#" would break the form.
  const char* text = "a&b+c#d=e%f g/h?i 中";
  EXPECT_EQ(Translate(text), std::string("[en] ") + text);
  auto request = server_.LastRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->FormField("text"), text);
  EXPECT_NE(request->body.find("text=a%26b%2Bc%23d%3De%25f%20g%2Fh%3Fi%20%E4%B8%AD"),
            std::string::npos)
      << request->body;
}

TEST_F(RoundTripTest, EmptyTextIsSentToo) {
  EXPECT_EQ(Translate(""), "[en] ");
  auto request = server_.LastRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->body, "pid=sogou-dict-fanyi-search-engine&from=zh-CHS&to=en&text=");
}

TEST_F(RoundTripTest, EmptyCodeIsSentAsIs) {
  RequestTranslation("", kChineseCode, T("x"), settings_);
  auto request = server_.LastRequest();
  ASSERT_TRUE(request);
  EXPECT_EQ(request->body, "pid=sogou-dict-fanyi-search-engine&from=&to=zh-CHS&text=x");
}

struct ReplyCase {
  const char* name;
  const char* text;      // selects the stand-in's reply
  const char* expected;  // UTF-8
};

class ReplyKindTest : public RoundTripTest, public ::testing::WithParamInterface<ReplyCase> {};

TEST_P(ReplyKindTest, ShowsWhatTheReplyHolds) {
  EXPECT_EQ(Translate(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ReplyKindTest,
    ::testing::Values(
        ReplyCase{"String", "hello", "[en] hello"}, ReplyCase{"ChineseString", "你好", "[en] 你好"},
        ReplyCase{"Number", "__number__", "42"}, ReplyCase{"Fraction", "__float__", "0.1"},
        ReplyCase{"Boolean", "__bool__", "true"}, ReplyCase{"Null", "__null__", "null"},
        ReplyCase{"Object", "__object__", "{\"a\":1,\"b\":\"x\"}"},
        ReplyCase{"Array", "__array__", "[1,\"two\",null]"},
        ReplyCase{"MissingMember", "__missing__", ""},
        ReplyCase{"NotJson", "__notjson__", "JSON解析失败"},
        ReplyCase{"ErrorStatusWithHtml", "__status500__", "JSON解析失败"},
        ReplyCase{"EmptyReply", "__empty__", "JSON解析失败"},
        ReplyCase{"LineBreaksInsideJson", "__crlf__", "line breaks"},
        ReplyCase{"Korean", "__korean__", "안녕하세요, 세계"},
        ReplyCase{"Escapes", "__escapes__", "quote \" backslash \\ slash / eé"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(RoundTripTest, UnreachableServiceGivesParseFailureWithReason) {
  settings_.host = "127.0.0.1:" + std::to_string(vyrelo::testing::FreeLoopbackPort());
  RequestDiagnostics diagnostics;
  Text reply = RequestTranslation(kChineseCode, "en", "x", settings_, &diagnostics);
  EXPECT_EQ(reply, "");
  EXPECT_EQ(diagnostics.status, 0);
  EXPECT_FALSE(diagnostics.networkError.empty());

  TranslationOutcome outcome = ServiceTranslator(settings_)(kChineseCode, "en", "x");
  EXPECT_FALSE(outcome.parsed);
  EXPECT_EQ(TextToUtf8String(outcome.result), "JSON解析失败");
  EXPECT_NE(outcome.reason.find("could not be reached"), std::string::npos) << outcome.reason;
}

TEST_F(RoundTripTest, TranslatorTellsAnUnparsableReplyByItsStatus) {
  TranslationOutcome outcome = ServiceTranslator(settings_)(kChineseCode, "en", "__status500__");
  EXPECT_FALSE(outcome.parsed);
  EXPECT_NE(outcome.reason.find("500"), std::string::npos) << outcome.reason;

  outcome = ServiceTranslator(settings_)(kChineseCode, "en", "hello");
  EXPECT_TRUE(outcome.parsed);
  EXPECT_EQ(outcome.result, "[en] hello");
  EXPECT_EQ(outcome.reason, "");
}

TEST(PickJsonField, ReadsWithoutNetwork) {
  bool parsed = false;
  EXPECT_EQ(PickJsonField("{\"a\":\r\n{\"b\":\"c\"}}", "a.b", &parsed), "c");
  EXPECT_TRUE(parsed);
  EXPECT_EQ(PickJsonField("not json", "a", &parsed), ParseFailureText());
  EXPECT_FALSE(parsed);
  EXPECT_EQ(PickJsonField("", "a", &parsed), ParseFailureText());
  EXPECT_FALSE(parsed);
  // A translation that itself reads as the failure text is still a success.
  EXPECT_EQ(PickJsonField("{\"a\":\"" + ParseFailureText() + "\"}", "a", &parsed),
            ParseFailureText());
  EXPECT_TRUE(parsed);
}

}  // namespace
}  // namespace vyrelo::app
