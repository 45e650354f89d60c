// The Script Control as its callers drive it: through the automation layer.
#include "script/script_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "platform/automation.h"
#include "platform/codec.h"

namespace vyrelo::script {
namespace {

using namespace vyrelo::platform;

class ScriptControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterScriptObjects();
    ASSERT_TRUE(CreateObject(control_, "ScriptControl"));
    ASSERT_TRUE(SetProperty(control_, "Language", {"JScript"}));
  }

  double ErrorNumber() {
    ComObject error = CallObjectMethod(control_, "Error");
    return GetNumberProperty(error, "Number");
  }

  ComScope com_;
  ComObject control_;
};

TEST_F(ScriptControlTest, EvalGivesTheValueOfTheLastExpression) {
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"1 + 2"}), "3");
  EXPECT_EQ(GetAutomationError(control_), "");
  EXPECT_EQ(CallNumberMethod(control_, "Eval", {"2.5 * 2"}), 5.0);
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"1.5"}), "1.5");
  EXPECT_TRUE(CallBoolMethod(control_, "Eval", {"3 > 2"}));
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"'a' + 'b'"}), "ab");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"var x = 1; if (x == 1) { x = 7 } x"}), "7");
}

TEST_F(ScriptControlTest, ResultsMapToVariants) {
  struct Case {
    const char* name;
    const char* code;
    VariantType type;
    const char* text;
  } cases[] = {
      {"string", "'s'", VariantType::Text, "s"},
      {"integer", "42", VariantType::Int32, "42"},
      {"fraction", "0.25", VariantType::Double, "0.25"},
      {"large", "4294967296", VariantType::Double, "4294967296"},
      {"negative_zero", "-0", VariantType::Int32, "0"},
      {"boolean", "true", VariantType::Bool, "True"},
      {"undefined", "undefined", VariantType::Empty, ""},
      {"null", "null", VariantType::Empty, ""},
      {"no_expression", "var unused = 1", VariantType::Empty, ""},
      {"array", "[1, 2, 'x']", VariantType::Text, "1,2,x"},
      {"object", "({a: 1})", VariantType::Text, "[object Object]"},
      {"own_to_string", "({toString: function () { return 'mine' }})", VariantType::Text, "mine"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Variant v = CallVariantMethod(control_, "Eval", {c.code});
    EXPECT_EQ(GetAutomationError(control_), "");
    EXPECT_EQ(v.Type(), c.type);
    EXPECT_EQ(CallTextMethod(control_, "Eval", {c.code}), c.text);
  }
}

TEST_F(ScriptControlTest, DeclarationsPersistBetweenCalls) {
  CallMethod(control_, "Eval", {"var counter = 41"});
  EXPECT_EQ(GetAutomationError(control_), "");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"++counter"}), "42");
  CallNumberMethod(control_, "AddCode",
                   {"function twice(v) { return v * 2 }\nvar fromCode = 'c';"});
  EXPECT_EQ(GetAutomationError(control_), "");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"twice(counter) + fromCode"}), "84c");
  CallNumberMethod(control_, "ExecuteStatement", {"assigned = 'yes'"});
  EXPECT_EQ(GetAutomationError(control_), "");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"assigned"}), "yes");
  // An Eval var is a deletable global.
  EXPECT_TRUE(CallBoolMethod(control_, "Eval", {"delete counter"}));
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"typeof counter"}), "undefined");
}

TEST_F(ScriptControlTest, SemanticsTheJsonDocumentRelies) {
  struct Case {
    const char* name;
    const char* code;
    const char* expected;
  } cases[] = {
      {"eval_of_object_is_the_object", "var da = eval({\"a\": 1}); da.a", "1"},
      {"eval_of_object_literal_text", "var db = eval('(' + '{\"b\": [1, 2]}' + ')'); db.b[1]", "2"},
      {"for_in_insertion_order",
       "var o = {z: 1, a: 2, m: 3}; o.b = 4; var k = []; for (var p in o) k.push(p); k.join()",
       "z,a,m,b"},
      {"tag_array", "Object.prototype.toString.call([])", "[object Array]"},
      {"tag_object", "Object.prototype.toString.call({})", "[object Object]"},
      {"tag_string", "Object.prototype.toString.call('s')", "[object String]"},
      {"tag_number", "Object.prototype.toString.call(1)", "[object Number]"},
      {"tag_boolean", "Object.prototype.toString.call(false)", "[object Boolean]"},
      {"tag_null", "Object.prototype.toString.call(null)", "[object Null]"},
      {"tag_undefined", "Object.prototype.toString.call(undefined)", "[object Undefined]"},
      {"stringify_keeps_u2400", "JSON.stringify('\\u2400') === '\"\\u2400\"'", "True"},
      {"no_engine_global", "typeof Duktape", "undefined"},
      {"no_print", "typeof print + typeof alert + typeof require", "undefinedundefinedundefined"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CallTextMethod(control_, "Eval", {c.code}), c.expected);
    EXPECT_EQ(GetAutomationError(control_), "") << GetAutomationErrorDetail();
  }
}

TEST_F(ScriptControlTest, TextCrossesAsUnicode) {
  // "中文한국😀" in the system charset, made from UTF-8.
  const Text text =
      Utf16ToSystemText(Utf8ToUtf16("\xE4\xB8\xAD\xE6\x96\x87\xED\x95\x9C\xEA\xB5\xAD"
                                    "\xF0\x9F\x98\x80"));
  CallMethod(control_, "AddCode", {"function same(s) { return s }"});
  EXPECT_EQ(CallTextMethod(control_, "Run", {"same", text}), text);
  // The emoji is two UTF-16 units to the script.
  EXPECT_EQ(CallNumberMethod(control_, "Eval", {"'" + text + "'.length"}), 6.0);
  EXPECT_EQ(CallTextMethod(control_, "Run", {"encodeURIComponent", text}),
            "%E4%B8%AD%E6%96%87%ED%95%9C%EA%B5%AD%F0%9F%98%80");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"String.fromCharCode(0xD83D, 0xDE00)"}),
            Utf16ToSystemText(u"\U0001F600"));
}

TEST_F(ScriptControlTest, RunCallsAGlobalFunctionWithZeroToSixArguments) {
  CallMethod(control_, "AddCode",
             {"function join() { return Array.prototype.slice.call(arguments).join('|') + "
              "'#' + arguments.length }"});
  EXPECT_EQ(CallTextMethod(control_, "Run", {"join"}), "#0");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"join", "a"}), "a#1");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"join", "a", "b", "c"}), "a|b|c#3");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"join", "1", "2", "3", "4", "5", "6"}),
            "1|2|3|4|5|6#6");
  EXPECT_EQ(GetAutomationError(control_), "");
  // Numbers and booleans keep their kind.
  CallMethod(control_, "AddCode", {"function kinds(a, b) { return typeof a + typeof b }"});
  EXPECT_EQ(CallTextMethod(control_, "Run", {"kinds", Variant(2.5), Variant(true)}),
            "numberboolean");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"join", "1", "2", "3", "4", "5", "6", "7"}), "");
  EXPECT_EQ(GetAutomationError(control_), "参数数目错误");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"encodeURI", "a b&c"}), "a%20b&c");
  EXPECT_EQ(CallTextMethod(control_, "Run", {"encodeURIComponent", "a b&c"}), "a%20b%26c");
}

TEST_F(ScriptControlTest, RunOfAMissingFunctionIsAnUnknownName) {
  EXPECT_EQ(CallTextMethod(control_, "Run", {"noSuchFunction"}), "");
  EXPECT_EQ(GetAutomationError(control_), "未找到指定属性或方法");
  EXPECT_EQ(ErrorNumber(), kErrorUnknownProcedure);
  CallMethod(control_, "Eval", {"var notAFunction = 3"});
  EXPECT_EQ(CallTextMethod(control_, "Run", {"notAFunction"}), "");
  EXPECT_EQ(GetAutomationError(control_), "未找到指定属性或方法");
}

TEST_F(ScriptControlTest, ScriptErrorsFillTheErrorObject) {
  struct Case {
    const char* name;
    const char* code;
    double number;
    int line;
    const char* source;
    const char* description;  // a part of it
    const char* text;
  } cases[] = {
      {"syntax", "var a = 1;\nvar b = ;\n", kErrorSyntax, 2, "JScript compilation error",
       "expression", "var b = ;"},
      {"reference", "\n\nnoSuchName + 1", kErrorReference, 3, "JScript runtime error", "noSuchName",
       ""},
      {"type", "null.x", kErrorType, 1, "JScript runtime error", "", ""},
      {"range", "\nnew Array(-1)", kErrorRange, 2, "JScript runtime error", "", ""},
      {"uri", "decodeURIComponent('%')", kErrorUri, 1, "JScript runtime error", "", ""},
      {"thrown_error", "throw new Error('boom')", kErrorThrown, 1, "JScript runtime error", "boom",
       ""},
      {"thrown_text", "throw 'plain'", kErrorThrown, 0, "JScript runtime error", "plain", ""},
      {"recursion", "function r() { return r() + 1 } r()", kErrorOutOfStack, 1,
       "JScript runtime error", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CallTextMethod(control_, "Eval", {c.code}), "");
    EXPECT_EQ(GetAutomationError(control_), "发现异常");
    EXPECT_FALSE(GetAutomationErrorDetail().empty());
    ComObject error = CallObjectMethod(control_, "Error");
    ASSERT_FALSE(error.Empty());
    EXPECT_EQ(GetNumberProperty(error, "Number"), c.number);
    EXPECT_EQ(GetNumberProperty(error, "Line"), c.line);
    EXPECT_EQ(GetNumberProperty(error, "Column"), 0);
    EXPECT_EQ(GetNumberProperty(error, "HelpContext"), 0);
    EXPECT_EQ(GetTextProperty(error, "HelpFile"), "");
    EXPECT_EQ(GetTextProperty(error, "Source"), c.source);
    EXPECT_NE(GetTextProperty(error, "Description").find(c.description), std::string::npos)
        << GetTextProperty(error, "Description");
    EXPECT_EQ(GetTextProperty(error, "Text"), c.text);
  }
  // The next successful call clears it.
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"1"}), "1");
  EXPECT_EQ(ErrorNumber(), 0);
  EXPECT_EQ(GetTextProperty(CallObjectMethod(control_, "Error"), "Description"), "");
}

TEST_F(ScriptControlTest, ErrorsInAddCodeAndExecuteStatementFailTheCall) {
  EXPECT_EQ(CallNumberMethod(control_, "AddCode", {"function ("}), 0.0);
  EXPECT_EQ(GetAutomationError(control_), "发现异常");
  EXPECT_EQ(ErrorNumber(), kErrorSyntax);
  CallNumberMethod(control_, "ExecuteStatement", {"throw 1"});
  EXPECT_EQ(GetAutomationError(control_), "发现异常");
  EXPECT_EQ(ErrorNumber(), kErrorThrown);
}

TEST_F(ScriptControlTest, AnEndlessLoopStopsAtTheTimeout) {
  ASSERT_TRUE(SetProperty(control_, "Timeout", {Variant(std::int32_t{200})}));
  EXPECT_EQ(GetNumberProperty(control_, "Timeout"), 200);
  for (const char* loop : {"while (true) {}",
                           // A catch block cannot swallow the time-out.
                           "while (true) { try { for (;;) {} } catch (e) {} }",
                           // Catastrophic backtracking in native code.
                           "/^(a+)+$/.test('aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa!')",
                           // Native recursion that keeps calling back.
                           "[3, 1, 2].sort(function () { for (;;) {} })"}) {
    SCOPED_TRACE(loop);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(CallTextMethod(control_, "Eval", {loop}), "");
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - start)
                        .count();
    EXPECT_EQ(GetAutomationError(control_), "发现异常");
    EXPECT_EQ(ErrorNumber(), kErrorTimeout);
    EXPECT_GE(ms, 150);
    EXPECT_LE(ms, 1500);
  }
  // The instance stays usable and the deadline is re-armed for each call.
  EXPECT_EQ(
      CallTextMethod(control_, "Eval", {"var n = 0; for (var i = 0; i < 1000; i++) n += i; n"}),
      "499500");
  EXPECT_EQ(GetAutomationError(control_), "");
}

TEST_F(ScriptControlTest, TheTimeoutIsPerCallNotPerInstance) {
  ASSERT_TRUE(SetProperty(control_, "Timeout", {Variant(std::int32_t{300})}));
  CallMethod(control_, "AddCode",
             {"function busy(ms) { var end = Date.now() + ms; while (Date.now() < end) {} "
              "return 'done' }"});
  // Three calls of 150 ms each: together past the limit, each within it.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(CallTextMethod(control_, "Run", {"busy", Variant(150.0)}), "done");
  }
  // -1: no limit at all.
  ASSERT_TRUE(SetProperty(control_, "Timeout", {Variant(std::int32_t{-1})}));
  EXPECT_EQ(CallTextMethod(control_, "Run", {"busy", Variant(400.0)}), "done");
  EXPECT_EQ(GetAutomationError(control_), "");
}

TEST_F(ScriptControlTest, DeepNestingIsAnErrorNotACrash) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  EXPECT_EQ(CallTextMethod(control_, "Eval", {deep}), "");
  EXPECT_EQ(GetAutomationError(control_), "发现异常");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"eval('" + deep + "')"}), "");
  EXPECT_EQ(GetAutomationError(control_), "发现异常");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"JSON.parse('" + deep + "')"}), "");
  EXPECT_EQ(GetAutomationError(control_), "发现异常");
  const std::string parens = std::string(100000, '(') + "1" + std::string(100000, ')');
  EXPECT_EQ(CallTextMethod(control_, "Eval", {parens}), "");
  EXPECT_EQ(GetAutomationError(control_), "发现异常");
  // Native recursion through a built-in.
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"function f() { [1].map(f) } f()"}), "");
  EXPECT_EQ(ErrorNumber(), kErrorOutOfStack);
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"'still' + ' alive'"}), "still alive");
}

TEST_F(ScriptControlTest, DeepNestingOnASmallWorkerStack) {
  // The native stack check follows the thread's real stack, so even a
  // 512 KiB thread gets an error rather than an overflow.
  pthread_attr_t attr;
  pthread_attr_init(&attr);
  pthread_attr_setstacksize(&attr, 512 * 1024);
  struct Outcome {
    Text deep, nested, after, error;
  } outcome;
  auto body = [](void* p) -> void* {
    auto* out = static_cast<Outcome*>(p);
    ComScope com;
    ComObject control;
    CreateObject(control, "ScriptControl");
    out->deep = CallTextMethod(control, "Eval", {std::string(100000, '[')});
    out->error = GetAutomationError(control);
    out->nested = CallTextMethod(control, "Eval", {"function f() { [1].map(f) } f()"});
    out->after = CallTextMethod(control, "Eval", {"6 * 7"});
    return nullptr;
  };
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attr, body, &outcome), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  EXPECT_EQ(outcome.deep, "");
  EXPECT_EQ(outcome.error, "发现异常");
  EXPECT_EQ(outcome.nested, "");
  EXPECT_EQ(outcome.after, "42");
}

TEST(ScriptControlMemory, TheMemoryCapStopsAnAllocationLoop) {
  ComScope com;
  ScopedObjectOverride small("ScriptControl",
                             [] { return CreateScriptControl(ScriptLimits{16u << 20}); });
  ComObject control;
  ASSERT_TRUE(CreateObject(control, "ScriptControl"));
  for (const char* hog : {"var keep = []; while (true) keep.push({n: keep.length})",
                          "var s = 'x'; while (true) s = s + s"}) {
    SCOPED_TRACE(hog);
    EXPECT_EQ(CallTextMethod(control, "Eval", {hog}), "");
    EXPECT_EQ(GetAutomationError(control), "发现异常");
    EXPECT_NE(GetAutomationErrorDetail().find("memory limit"), std::string::npos);
    EXPECT_EQ(GetNumberProperty(CallObjectMethod(control, "Error"), "Number"), kErrorOutOfMemory);
    CallMethod(control, "Eval", {"keep = null; s = null"});
  }
  EXPECT_EQ(CallTextMethod(control, "Eval", {"[1, 2, 3].length"}), "3");
}

TEST(ScriptControlMemory, TheDefaultCapHolds) {
  ComScope com;
  RegisterScriptObjects();
  ComObject control;
  ASSERT_TRUE(CreateObject(control, "ScriptControl"));
  EXPECT_EQ(CallTextMethod(control, "Eval", {"var s = 'x'; while (true) s = s + s"}), "");
  EXPECT_NE(GetAutomationErrorDetail().find(std::to_string(kDefaultMemoryBytes)),
            std::string::npos);
  EXPECT_EQ(GetNumberProperty(CallObjectMethod(control, "Error"), "Number"), kErrorOutOfMemory);
}

TEST_F(ScriptControlTest, ResetGivesAFreshGlobalState) {
  CallMethod(control_, "AddCode", {"function kept() { return 1 } var v = 2;"});
  CallMethod(control_, "Reset");
  EXPECT_EQ(GetAutomationError(control_), "");
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"typeof kept + typeof v"}), "undefinedundefined");
  EXPECT_EQ(GetTextProperty(control_, "Language"), "JScript");
}

TEST_F(ScriptControlTest, InstancesShareNoGlobals) {
  ComObject other;
  ASSERT_TRUE(CreateObject(other, "MSScriptControl.ScriptControl"));
  CallMethod(control_, "Eval", {"var mine = 1"});
  EXPECT_EQ(CallTextMethod(other, "Eval", {"typeof mine"}), "undefined");
  ComObject byClsid;
  ASSERT_TRUE(CreateObject(byClsid, kScriptControlClsid));
  EXPECT_EQ(CallTextMethod(byClsid, "Eval", {"typeof mine"}), "undefined");
}

TEST_F(ScriptControlTest, LanguageAcceptsJScriptOnly) {
  EXPECT_EQ(GetTextProperty(control_, "Language"), "JScript");
  EXPECT_TRUE(SetProperty(control_, "Language", {"JavaScript"}));
  EXPECT_EQ(GetTextProperty(control_, "Language"), "JavaScript");
  for (const char* refused : {"vbs", "VBScript", ""}) {
    SCOPED_TRACE(refused);
    EXPECT_FALSE(SetProperty(control_, "Language", {refused}));
    EXPECT_EQ(GetAutomationError(control_), "发现异常");
    EXPECT_NE(GetAutomationErrorDetail().find("JScript"), std::string::npos);
    EXPECT_EQ(GetTextProperty(control_, "Language"), "JavaScript");
  }
  EXPECT_EQ(CallTextMethod(control_, "Eval", {"'works'"}), "works");
}

TEST_F(ScriptControlTest, PlainPropertiesReadBackWhatWasStored) {
  EXPECT_EQ(GetNumberProperty(control_, "Timeout"), kDefaultTimeoutMs);
  EXPECT_EQ(GetNumberProperty(control_, "State"), 0);
  EXPECT_TRUE(GetBoolProperty(control_, "AllowUI"));
  EXPECT_EQ(GetNumberProperty(control_, "SitehWnd"), 0);
  EXPECT_TRUE(SetProperty(control_, "Timeout", {Variant(std::int32_t{-1})}));
  EXPECT_TRUE(SetProperty(control_, "State", {Variant(std::int32_t{1})}));
  EXPECT_TRUE(SetProperty(control_, "AllowUI", {Variant(false)}));
  EXPECT_TRUE(SetProperty(control_, "SitehWnd", {"12345"}));
  EXPECT_EQ(GetNumberProperty(control_, "Timeout"), -1);
  EXPECT_EQ(GetNumberProperty(control_, "State"), 1);
  EXPECT_FALSE(GetBoolProperty(control_, "AllowUI"));
  EXPECT_EQ(GetNumberProperty(control_, "SitehWnd"), 12345);
  EXPECT_FALSE(SetProperty(control_, "Error", {Variant(std::int32_t{1})}));
}

}  // namespace
}  // namespace vyrelo::script
