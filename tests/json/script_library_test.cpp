// The script library and prologue every document's engine is loaded with.
#include <gtest/gtest.h>

#include <cstring>

#include "json/json_document.h"
#include "json/script_library.h"
#include "json_test_support.h"

namespace vyrelo::json {
namespace {

using platform::CallTextMethod;
using platform::GetAutomationError;
using testing::JsonTest;

class ScriptLibraryTest : public JsonTest {
 protected:
  Text Eval(const Text& script) { return CallTextMethod(engine_, "Eval", {script}); }
  bool Fails(const Text& script) {
    Eval(script);
    return GetAutomationError(engine_) == "发现异常";
  }

  JsonDocument doc_;
  platform::ComObject engine_ = doc_.GetEngine();
};

TEST_F(ScriptLibraryTest, IsAsciiScript) {
  for (const char* p = kScriptLibrary; *p; ++p) ASSERT_LT(static_cast<unsigned char>(*p), 0x80);
  EXPECT_EQ(ScriptPrologue("da"),
            "var da = {}, str_Code = String.fromCharCode(9216), str_reg = new RegExp(str_Code, "
            "'g')");
}

TEST_F(ScriptLibraryTest, Count) {
  const struct {
    const char* value;
    const char* count;
  } cases[] = {{"{a:1}", "0"},     {"'abc'", "0"}, {"null", "0"},
               {"undefined", "0"}, {"[]", "0"},    {"[1,[2,3]]", "2"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(Eval(Text("get__count(") + c.value + ")"), c.count);
  }
}

TEST_F(ScriptLibraryTest, NameAll) {
  EXPECT_EQ(Eval("get__name_All([1,2])"), "");
  EXPECT_EQ(Eval("get__name_All('ab')"), "");
  EXPECT_EQ(Eval("get__name_All({a:1, f:function(){}})"), "a");
  EXPECT_EQ(Eval("get__name_All({b:1, a:null, c:{}})"), "b\r\na\r\nc");
}

TEST_F(ScriptLibraryTest, Extend) {
  EXPECT_EQ(Eval("JSON.stringify(get__extend([1], [2,3]))"), "[1,2,3]");
  EXPECT_EQ(Eval("JSON.stringify(get__extend([1], {a:2}))"), "[1]");
  EXPECT_EQ(Eval("JSON.stringify(get__extend([1], 5))"), "[1]");
  EXPECT_EQ(Eval("JSON.stringify(get__extend({a:'x', b:{c:true}}, {a:'y', b:{d:1}, e:2}))"),
            R"({"a":"y","b":{"c":true,"d":1},"e":2})");
  EXPECT_EQ(Eval("JSON.stringify(get__extend({a:true}, {a:false}))"), R"({"a":false})");
  EXPECT_EQ(Eval("JSON.stringify(get__extend({a:'x'}, 'zz'))"), R"({"a":"x"})")
      << "a string's characters are not members";
  EXPECT_TRUE(Fails("get__extend({n:1}, {n:2})"));
  EXPECT_TRUE(Fails("get__extend({n:null}, {n:{}})"));
  EXPECT_TRUE(Fails("get__extend({n:null}, {n:true})"));
}

TEST_F(ScriptLibraryTest, NodeValue) {
  const char* value = "{a:1, b:{c:2}, d:'x', e:null, f:[true]}";
  EXPECT_EQ(Eval(Text("str_all = []; get__nodeValue(") + value + ", false).join('|')"), "1|x");
  EXPECT_EQ(Eval(Text("str_all = []; get__nodeValue(") + value + ", true).join('|')"),
            "1|2|x|true");
  EXPECT_EQ(Eval("str_all = []; get__nodeValue('abc', true).length"), "0");
  EXPECT_EQ(Eval("str_all = []; get__nodeValue(5, true).length"), "0");
  EXPECT_TRUE(Fails("delete str_all; get__nodeValue({a:1}, false)"))
      << "the caller declares str_all";
}

TEST_F(ScriptLibraryTest, InheritedMembersAreEnumerable) {
  EXPECT_EQ(Eval("var names = []; for (var k in {}) names.push(k); names.join()"),
            "toJSONString,parseJSON");
  EXPECT_EQ(Eval("({a:[1]}).toJSONString()"), R"({"a":[1]})");
  EXPECT_EQ(Eval("'[1,2]'.parseJSON()[1]"), "2");
  EXPECT_EQ(Eval("JSON.stringify({a:1})"), R"({"a":1})") << "own members only";
}

TEST_F(ScriptLibraryTest, ExistingToJsonStringIsKept) {
  Eval("Object.prototype.toJSONString = function () { return 'mine'; }");
  platform::CallBoolMethod(engine_, "AddCode", {kScriptLibrary});
  EXPECT_EQ(Eval("({}).toJSONString()"), "mine");
}

TEST_F(ScriptLibraryTest, StringifyLeavesTheMarkerUnescaped) {
  EXPECT_EQ(Eval("JSON.stringify(str_Code) == '\"' + str_Code + '\"'"), "True");
  EXPECT_EQ(Eval("JSON.stringify('a' + str_Code + 'b').replace(str_reg, '\\\\')"), "\"a\\b\"");
  EXPECT_EQ(Eval("JSON.stringify('\\\\\"\\n\\u0001')"), R"("\\\"\n\u0001")");
}

}  // namespace
}  // namespace vyrelo::json
