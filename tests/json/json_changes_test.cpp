// Changing a JSON document: values, merges, items, deletion and numbers.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "json/json_document.h"
#include "json_test_support.h"

namespace vyrelo::json {
namespace {

using platform::CallTextMethod;
using testing::JsonTest;
using testing::Sys;

Text Peek(JsonDocument& doc, const Text& script) {
  return CallTextMethod(doc.GetEngine(), "Eval", {script});
}

TEST_F(JsonTest, AbsolutePathToAMissingMemberIsRewritten) {
  JsonDocument doc;
  EXPECT_FALSE(doc.SetValue("da.x", "v", false)) << "da.x becomes da.da.x";
  EXPECT_FALSE(doc.Exists("x"));
  EXPECT_TRUE(doc.SetValue("x", "v", false));
  EXPECT_EQ(doc.GetText("x", false), "v");
  EXPECT_TRUE(doc.SetValue("da.x", "w", false)) << "now x exists: da.x is the variable's";
  EXPECT_EQ(doc.ToJson(), R"({"x":"w"})");
}

TEST_F(JsonTest, PlainSetValueRoundTrips) {
  const struct {
    const char* name;
    Text value;
  } cases[] = {
      {"Simple", "hello"},
      {"Empty", ""},
      {"Backslash", "a\\b"},
      {"EscapingOrder", "it's \"q\" \\' \\\" \\\\ \r\n end\\"},
      {"LineBreaks", "one\r\ntwo\nthree\r"},
      {"Chinese", Sys("中文，译文")},
      {"TrailByteIsABackslash", "\x95\x5C"},  // one GBK character
      {"Korean", Sys("안녕")},
      {"ScriptInsideIsJustText", "'; while(true){} '"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JsonDocument doc;
    ASSERT_TRUE(doc.SetValue("s", c.value, false));
    EXPECT_EQ(doc.GetKind("s"), kJsonString);
    EXPECT_EQ(doc.GetText("s", false), c.value);
  }
}

TEST_F(JsonTest, PlainSetValueStoresBackslashesAsTheMarker) {
  JsonDocument doc;
  ASSERT_TRUE(doc.SetValue("p", "a\\b", false));
  EXPECT_EQ(Peek(doc, "da.p.length"), "3");
  EXPECT_EQ(Peek(doc, "da.p.charCodeAt(1)"), "9216");
  EXPECT_EQ(doc.GetText("p", false), "a\\b");
  EXPECT_EQ(doc.GetJson("p"), R"("a\b")") << "in quotes, the backslash not escaped";
}

TEST_F(JsonTest, JsonSetValueMergesIntoAnExistingObject) {
  auto doc = Load(R"({"o":{"a":"x","b":{"c":true},"arr":[1]}})");
  EXPECT_TRUE(doc->SetValue("o", R"({"a":"y","b":{"d":1},"e":2,"arr":[2,3]})", true));
  EXPECT_EQ(doc->GetJson("o"), R"({"a":"y","b":{"c":true,"d":1},"arr":[1,2,3],"e":2})");
  EXPECT_TRUE(doc->SetValue("", R"({"top":null})", true)) << "the whole value merges too";
  EXPECT_EQ(doc->GetKind("top"), kJsonNull);
  EXPECT_TRUE(doc->Exists("o.a"));
}

TEST_F(JsonTest, MergeFailuresLeaveEarlierMembersChanged) {
  const struct {
    const char* name;
    const char* target;
    const char* source;
    bool ok;
    const char* after;
  } cases[] = {
      {"NumberMember", R"({"s":"x","n":1,"t":"x"})", R"({"s":"y","n":2,"t":"y"})", false,
       R"({"s":"y","n":1,"t":"x"})"},
      {"NullMemberWithObject", R"({"s":"x","z":null})", R"({"s":"y","z":{"q":1}})", false,
       R"({"s":"y","z":null})"},
      {"NullMemberWithString", R"({"z":null})", R"({"z":"q"})", false, R"({"z":null})"},
      {"NullMemberWithNull", R"({"z":null})", R"({"z":null})", true, R"({"z":null})"},
      {"EmptyValueChangesNothing", R"({"a":1})", "", true, R"({"a":1})"},
      {"StringSourceChangesNothing", R"({"a":"x"})", R"("'ab'")", true, R"({"a":"x"})"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto doc = Load(Text(R"({"o":)") + c.target + "}");
    EXPECT_EQ(doc->SetValue("o", c.source, true), c.ok);
    EXPECT_EQ(doc->GetJson("o"), c.after);
  }
}

TEST_F(JsonTest, JsonSetValueAssignsEverywhereElse) {
  auto doc = Load(R"({"s":"x","n":1,"arr":[1]})");
  EXPECT_TRUE(doc->SetValue("s", R"({"k":[true]})", true));
  EXPECT_EQ(doc->GetJson("s"), R"({"k":[true]})");
  EXPECT_TRUE(doc->SetValue("arr", "[9]", true)) << "an array is replaced, not merged";
  EXPECT_EQ(doc->GetJson("arr"), "[9]");
  EXPECT_TRUE(doc->SetValue("fresh", "null", true));
  EXPECT_EQ(doc->GetJson("fresh"), "null");
  EXPECT_TRUE(doc->SetValue("n", "", true)) << "an empty value assigns undefined";
  EXPECT_EQ(Peek(*doc, "typeof da.n"), "undefined");
  EXPECT_FALSE(doc->SetValue("q", R"("abc")", true)) << "the string is run as script";
  EXPECT_TRUE(doc->SetValue("q", R"("1+1")", true));
  EXPECT_EQ(doc->GetJson("q"), "2");
  EXPECT_FALSE(doc->SetValue("bad", "{", true));
}

TEST_F(JsonTest, SetJson) {
  JsonDocument doc;
  EXPECT_TRUE(doc.SetJson("a", R"({"b":[1,2]})"));
  EXPECT_EQ(doc.GetCount("a.b"), 2);
  EXPECT_TRUE(doc.SetJson("a.b[0]", "false"));
  EXPECT_EQ(doc.ToJson(), R"({"a":{"b":[false,2]}})");
  EXPECT_FALSE(doc.SetJson("a", "}"));
}

TEST_F(JsonTest, ItemsAreQuotedButNotEscaped) {
  auto doc = Load(R"({"arr":[1],"s":"x"})");
  EXPECT_TRUE(doc->AddItem("b", "arr", false, false));
  EXPECT_TRUE(doc->AddItem("a", "arr", false, true));
  EXPECT_TRUE(doc->AddItem(R"({"k":1})", "arr", true, false));
  EXPECT_EQ(doc->GetJson("arr"), R"(["a",1,"b",{"k":1}])");
  EXPECT_FALSE(doc->AddItem("it's", "arr", false, false)) << "the apostrophe ends the quote";
  EXPECT_FALSE(doc->AddItem("a\nb", "arr", false, false));
  EXPECT_EQ(doc->GetCount("arr"), 4);

  EXPECT_TRUE(doc->AddItem("x", "s", false, false)) << "a string is replaced by an array";
  EXPECT_TRUE(doc->AddItem("1", "fresh", true, true));
  EXPECT_EQ(doc->GetJson("s"), R"(["x"])");
  EXPECT_EQ(doc->GetJson("fresh"), "[1]");

  EXPECT_TRUE(doc->SetItem(1, "arr", "z", false));
  EXPECT_TRUE(doc->SetItem(0, "arr", "[0]", true));
  EXPECT_FALSE(doc->SetItem(0, "arr", "it's", false));
  EXPECT_EQ(doc->GetJson("arr"), R"([[0],"z","b",{"k":1}])");
  EXPECT_EQ(doc->GetItemText(1, "arr", false), "z");

  EXPECT_TRUE(doc->RemoveItem(0, "arr"));
  EXPECT_TRUE(doc->RemoveItem(1, "arr"));
  EXPECT_EQ(doc->GetJson("arr"), R"(["z",{"k":1}])");
  EXPECT_FALSE(doc->RemoveItem(0, "missing"));
}

TEST_F(JsonTest, DeleteAndClear) {
  auto doc = Load(R"({"a":{"b":1,"c":2}})");
  EXPECT_TRUE(doc->Delete("a.b"));
  EXPECT_FALSE(doc->Exists("a.b"));
  EXPECT_EQ(doc->ToJson(), R"({"a":{"c":2}})");
  EXPECT_FALSE(doc->Delete("missing.b"));
  // Declared by an evaluation, the variable itself can go; reading fails
  // then, and Clear brings it back.
  EXPECT_TRUE(doc->Delete(""));
  EXPECT_FALSE(doc->Exists(""));
  EXPECT_EQ(doc->ToJson(), "");
  EXPECT_TRUE(doc->Clear());
  EXPECT_EQ(doc->ToJson(), "{}");
  EXPECT_TRUE(doc->SetValue("a", "1", false));
  EXPECT_TRUE(doc->Clear());
  EXPECT_EQ(doc->ToJson(), "{}");
}

TEST_F(JsonTest, SetNumberWritesThirteenDigits) {
  JsonDocument doc;
  const struct {
    double number;
    bool ok;
    const char* json;
  } cases[] = {
      {0.0, true, "0"},
      {-2.5, true, "-2.5"},
      {0.1, true, "0.1"},
      {1.0 / 3.0, true, "0.3333333333333"},
      {1e21, true, "1e+21"},
      {123456789012345.0, true, "123456789012300"},
      {std::numeric_limits<double>::quiet_NaN(), false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    EXPECT_EQ(doc.SetNumber("n", c.number), c.ok);
    if (c.ok) {
      EXPECT_EQ(doc.GetJson("n"), c.json);
      EXPECT_EQ(doc.GetKind("n"), kJsonNumber);
    }
  }
}

}  // namespace
}  // namespace vyrelo::json
