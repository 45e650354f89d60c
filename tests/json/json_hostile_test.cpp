// Texts that are hostile script or simply large: Parse must end, fail where
// the text is not a value, and leave the document usable.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "json/json_document.h"
#include "json_test_support.h"

namespace vyrelo::json {
namespace {

using testing::JsonTest;

constexpr int kShortTimeoutMs = 300;

std::chrono::milliseconds Elapsed(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               since);
}

Text Nested(int depth, const char* open, const char* close) {
  Text text;
  text.reserve(static_cast<std::size_t>(depth) * 6);
  for (int i = 0; i < depth; ++i) text += open;
  text += "1";
  for (int i = 0; i < depth; ++i) text += close;
  return text;
}

// Roughly `bytes` of valid JSON: an array of small records.
Text LargeJson(std::size_t bytes, int& records) {
  Text text = R"({"data":{"items":[)";
  records = 0;
  while (text.size() < bytes) {
    if (records) text += ',';
    text += R"({"id":)" + FormatInt(records) + R"(,"name":"item \u4e2d\u6587 )" +
            FormatInt(records) + R"(","v":[1.5,true,null],"o":{"k":"value"}})";
    ++records;
  }
  text += R"(],"translate":{"dit":"end"}}})";
  return text;
}

class HostileTest : public JsonTest {
 protected:
  // After any failure the same document must still parse and read.
  void ExpectUsable(JsonDocument& doc) {
    ScriptErrorInfo error;
    ASSERT_TRUE(doc.Parse(R"({"ok":[1,2]})", false, error, true)) << error.Description;
    EXPECT_EQ(doc.GetCount("ok"), 2);
  }
};

TEST_F(HostileTest, ScriptsThatNeverEndTimeOut) {
  const struct {
    const char* name;
    const char* text;
    bool assignDirectly;
    bool ok;  // the value assigned before the loop began stays
    std::int32_t error;
  } cases[] = {
      // A statement is no value: it does not even compile.
      {"WhileTrue", "while(true){}", false, false, script::kErrorSyntax},
      {"WhileTrueAssignedDirectly", "while(true){}", true, false, script::kErrorSyntax},
      {"InAFunction", "(function(){ for(;;){} })()", false, false, script::kErrorTimeout},
      {"CatchingTheTimeOut", "(function(){ for(;;){ try { for(;;){} } catch (e) {} } })()", false,
       false, script::kErrorTimeout},
      {"InsideAnArray", "[1, (function(){ while(true){} })()]", false, false,
       script::kErrorTimeout},
      {"AfterTheValue", "1; while(true){}", true, true, script::kErrorTimeout},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JsonDocument doc(kShortTimeoutMs);
    ScriptErrorInfo error;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(doc.Parse(c.text, c.assignDirectly, error, true), c.ok);
    EXPECT_LT(Elapsed(start).count(), 20 * kShortTimeoutMs);
    EXPECT_EQ(error.Number, c.error) << error.Description;
    ExpectUsable(doc);
  }
}

TEST_F(HostileTest, AHostilePathTimesOutToo) {
  // A path is script as well.
  const Text path = "x[(function(){ while(true){} })()]";
  JsonDocument doc(kShortTimeoutMs);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(doc.GetText(path, false), "");
  EXPECT_EQ(doc.GetKind(path), kJsonUnknown);
  EXPECT_GE(Elapsed(start).count(), kShortTimeoutMs);
  EXPECT_LT(Elapsed(start).count(), 40 * kShortTimeoutMs);
  EXPECT_EQ(doc.ToJson(), "{}");
}

TEST_F(HostileTest, DeepNestingFailsWithoutCrashing) {
  const struct {
    const char* name;
    Text text;
  } cases[] = {
      {"Arrays", Nested(200000, "[", "]")},
      {"Objects", Nested(200000, R"({"a":)", "}")},
      {"Parentheses", Nested(200000, "(", ")")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JsonDocument doc;
    ScriptErrorInfo error;
    EXPECT_FALSE(doc.Parse(c.text, false, error, true));
    EXPECT_NE(error.Number, 0);
    ExpectUsable(doc);
  }
}

TEST_F(HostileTest, ModerateNestingStillLoads) {
  JsonDocument doc;
  ScriptErrorInfo error;
  ASSERT_TRUE(doc.Parse(Nested(200, "[", "]"), false, error, true)) << error.Description;
  EXPECT_EQ(doc.GetKind(""), kJsonArray);
}

TEST_F(HostileTest, AllocationLoopHitsTheMemoryCap) {
  JsonDocument doc;
  ScriptErrorInfo error;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(doc.Parse(
      "(function(){ var a = [], s = 'x'; for (;;) { s = s + s; a.push(s + a.length); } })()", false,
      error, true));
  EXPECT_EQ(error.Number, script::kErrorOutOfMemory) << error.Description;
  EXPECT_LT(Elapsed(start).count(), script::kDefaultTimeoutMs);
  ExpectUsable(doc);
}

TEST_F(HostileTest, ManySmallAllocationsHitTheCapOrTheTimeOut) {
  JsonDocument doc(2000);
  ScriptErrorInfo error;
  EXPECT_FALSE(doc.Parse("(function(){ var a = []; for (;;) a.push({x: [a.length]}); })()", false,
                         error, true));
  EXPECT_TRUE(error.Number == script::kErrorOutOfMemory || error.Number == script::kErrorTimeout)
      << error.Description;
  ExpectUsable(doc);
}

TEST_F(HostileTest, TwentyMegabytesOfJsonLoadWithinTheCap) {
  int records = 0;
  const Text text = LargeJson(20u << 20, records);
  // What is tested is the memory cap: loading 20 MB takes seconds in a
  // sanitizer build on a busy machine, so the engines get time enough.
  JsonDocument doc(120000);
  ScriptErrorInfo error;
  ASSERT_TRUE(doc.Parse(text, false, error, true)) << error.Description;
  EXPECT_EQ(doc.GetCount("data.items"), records);
  EXPECT_EQ(doc.GetKind("data.translate.dit"), kJsonString);
  EXPECT_EQ(doc.GetText("data.translate.dit", false), "end");
  EXPECT_EQ(doc.GetNumber("data.items[" + FormatInt(records - 1) + "].id"), records - 1);
  EXPECT_EQ(error.Number, 0) << "the record describes the load that worked";
}

// More distinct constants than the engine's compiler takes in one script.
TEST_F(HostileTest, ManyDistinctConstantsLoad) {
  Text text = "[";
  for (int i = 0; i < 70000; ++i) text += (i ? ",\"s" : "\"s") + FormatInt(i) + "\"";
  text += "]";
  for (bool assignDirectly : {false, true}) {
    SCOPED_TRACE(assignDirectly);
    JsonDocument doc;
    ScriptErrorInfo error;
    ASSERT_TRUE(doc.Parse(text, assignDirectly, error, false));
    EXPECT_EQ(doc.GetCount(""), 70000);
    EXPECT_EQ(doc.GetItemText(69999, "", false), "s69999");
  }
  // What is not JSON gets no second chance.
  JsonDocument doc;
  ScriptErrorInfo error;
  EXPECT_FALSE(doc.Parse(text + " x", false, error, true));
  EXPECT_NE(error.Number, 0);
}

TEST_F(HostileTest, NulBytes) {
  const struct {
    const char* name;
    Text text;
    bool ok;
    const char* json;
  } cases[] = {
      {"InsideAString", Text(R"({"a":"x)") + '\0' + R"(y"})", true, R"({"a":"x\u0000y"})"},
      {"AfterTheValue", Text(R"({"a":1})") + '\0' + "garbage", false, "null"},
      {"Alone", Text(1, '\0'), false, "null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JsonDocument doc;
    ScriptErrorInfo error;
    EXPECT_EQ(doc.Parse(c.text, false, error, false), c.ok);
    EXPECT_EQ(doc.ToJson(), c.json);
    ExpectUsable(doc);
  }
}

TEST_F(HostileTest, TheEngineSeesNothingOfTheMachine) {
  JsonDocument doc;
  ScriptErrorInfo error;
  for (const char* probe : {"require('fs')", "Duktape.version", "print(1)", "new XMLHttpRequest()",
                            "new ActiveXObject('WScript.Shell')"}) {
    SCOPED_TRACE(probe);
    EXPECT_FALSE(doc.Parse(probe, true, error, false));
  }
}

}  // namespace
}  // namespace vyrelo::json
