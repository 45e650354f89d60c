#include "encoding/url_encode.h"

#include <gtest/gtest.h>

#include "platform/automation.h"
#include "platform/codec.h"
#include "script/script_control.h"

namespace vyrelo::encoding {
namespace {

using platform::Utf16ToSystemText;

class UrlEncodeTest : public ::testing::Test {
 protected:
  void SetUp() override { script::RegisterScriptObjects(); }
};

struct Case {
  const char* name;
  Text text;
  Text uri;        // mode 0
  Text component;  // mode 1
};

TEST_F(UrlEncodeTest, EncodesAsTheScriptFunctionsDo) {
  const Case cases[] = {
      {"empty", "", "", ""},
      {"letters_and_digits", "AZaz09", "AZaz09", "AZaz09"},
      {"reserved", "&=+/?#", "&=+/?#", "%26%3D%2B%2F%3F%23"},
      {"more_reserved", ";,:@$", ";,:@$", "%3B%2C%3A%40%24"},
      {"unreserved_marks", "-_.!~*'()", "-_.!~*'()", "-_.!~*'()"},
      {"space_is_never_plus", "a b", "a%20b", "a%20b"},
      {"percent", "100%", "100%25", "100%25"},
      {"controls", "\t\r\n", "%09%0D%0A", "%09%0D%0A"},
      {"chinese_gb18030_bytes", "\xD6\xD0\xCE\xC4", "%E4%B8%AD%E6%96%87", "%E4%B8%AD%E6%96%87"},
      {"korean", Utf16ToSystemText(u"\uD55C\uAD6D"), "%ED%95%9C%EA%B5%AD", "%ED%95%9C%EA%B5%AD"},
      {"emoji", Utf16ToSystemText(u"\U0001F600"), "%F0%9F%98%80", "%F0%9F%98%80"},
      {"query", "q=\xD6\xD0 x&y=1", "q=%E4%B8%AD%20x&y=1", "q%3D%E4%B8%AD%20x%26y%3D1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(UrlEncode(c.text), c.uri);
    EXPECT_EQ(UrlEncode(c.text, 0), c.uri);
    EXPECT_EQ(UrlEncode(c.text, 1), c.component);
  }
}

TEST_F(UrlEncodeTest, AnyOtherModeIsEncodeUri) {
  for (int mode : {2, -1, 100}) {
    SCOPED_TRACE(mode);
    EXPECT_EQ(UrlEncode("a&b c", mode), "a&b%20c");
  }
}

TEST_F(UrlEncodeTest, ScriptTextInTheInputIsOnlyData) {
  EXPECT_EQ(UrlEncode("'); while(true){} ('"), "');%20while(true)%7B%7D%20('");
}

TEST_F(UrlEncodeTest, GivesEmptyWhenTheEngineCannotBeMade) {
  platform::ScopedObjectOverride missing("ScriptControl", nullptr);
  EXPECT_EQ(UrlEncode("abc"), "");
  EXPECT_EQ(UrlEncode("abc", 1), "");
}

TEST_F(UrlEncodeTest, LeavesTheThreadsInitialisationAsItWas) {
  const int before = platform::ComInitCount();
  UrlEncode("x");
  EXPECT_EQ(platform::ComInitCount(), before);
}

}  // namespace
}  // namespace vyrelo::encoding
