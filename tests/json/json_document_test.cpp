// Reading a JSON document: parsing, paths, kinds, texts, names, values and
// sub-documents.
#include <gtest/gtest.h>

#include <cmath>

#include "json/json_document.h"
#include "json_test_support.h"

namespace vyrelo::json {
namespace {

using platform::CallTextMethod;
using platform::ComInitCount;
using platform::ComObject;
using testing::JsonTest;
using testing::Sys;

const char* kSample =
    R"({"data":{"translate":{"dit":"hello","n":12.5,"list":[1,"two",null,{"k":true}]}},)"
    R"("date":"2020","x":1,"da":{"x":7,"y":8},"flag":false,"nothing":null,"empty":[],"obj":{}})";

// Evaluates on the document's engine directly, to look behind the operations.
Text Peek(JsonDocument& doc, const Text& script) {
  return CallTextMethod(doc.GetEngine(), "Eval", {script});
}

// --- Paths ----------------------------------------------------------------------

struct PathCase {
  const char* name;
  const char* json;
  const char* path;
  bool exists;
  const char* resolved;  // the path after ResolvePath
  const char* plainText;
};

class PathRules : public JsonTest, public ::testing::WithParamInterface<PathCase> {};

TEST_P(PathRules, Resolve) {
  const PathCase& c = GetParam();
  auto doc = Load(c.json);
  Text path = c.path;
  EXPECT_EQ(doc->ResolvePath(path), c.exists);
  EXPECT_EQ(path, c.resolved);
  EXPECT_EQ(doc->Exists(c.path), c.exists);
  EXPECT_EQ(doc->GetText(c.path, false), c.plainText);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PathRules,
    ::testing::Values(
        PathCase{"EmptyIsTheWholeValue", kSample, "", true, "da", "[object Object]"},
        PathCase{"DaIsTheVariable", kSample, "da", true, "da", "[object Object]"},
        PathCase{"DaDotExistingMemberIsTheVariables", kSample, "da.x", true, "da.x", "1"},
        PathCase{"DaDotMissingMemberIsRewritten", R"({"da":{"x":7}})", "da.x", true, "da.da.x",
                 "7"},
        PathCase{"DataIsARelativeName", kSample, "data.translate.dit", true,
                 "da.data.translate.dit", "hello"},
        PathCase{"DateIsARelativeName", kSample, "date", true, "da.date", "2020"},
        PathCase{"BracketFirst", R"([10,[20,30]])", "[1][0]", true, "da[1][0]", "20"},
        PathCase{"BracketIndexInside", kSample, "data.translate.list[1]", true,
                 "da.data.translate.list[1]", "two"},
        PathCase{"MissingMember", kSample, "missing", false, "da.missing", ""},
        PathCase{"NullMember", kSample, "nothing", false, "da.nothing", ""},
        PathCase{"ThroughAMissingMember", kSample, "missing.b", false, "da.missing.b", ""},
        PathCase{"FalseExists", kSample, "flag", true, "da.flag", "false"},
        PathCase{"NotAnExpression", kSample, "data.(", false, "da.data.(", ""}),
    [](const ::testing::TestParamInfo<PathCase>& param) { return param.param.name; });

TEST_F(JsonTest, OperationsResolveACopyOfThePath) {
  auto doc = Load(kSample);
  const Text path = "data.translate.dit";
  doc->GetKind(path);
  doc->GetText(path, true);
  EXPECT_EQ(path, "data.translate.dit");
}

// --- Kinds ------------------------------------------------------------------------

TEST_F(JsonTest, Kinds) {
  auto doc = Load(kSample);
  const struct {
    const char* path;
    std::int32_t kind;
  } cases[] = {
      {"", kJsonObject},
      {"data.translate.dit", kJsonString},
      {"data.translate.n", kJsonNumber},
      {"data.translate.list", kJsonArray},
      {"data.translate.list[2]", kJsonNull},
      {"data.translate.list[3].k", kJsonBoolean},
      {"flag", kJsonBoolean},
      {"nothing", kJsonNull},
      {"missing", kJsonNull},
      {"data.translate.missing", kJsonNull},
      {"missing.b", kJsonUnknown},
      {"data.translate.list[3].k.z.z", kJsonUnknown},
      {"data.(", kJsonUnknown},
      {"data.translate.dit.length", kJsonNumber},
      {"data.translate.list.push", kJsonUnknown},  // a function
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(doc->GetKind(c.path), c.kind);
  }
}

// --- Texts -------------------------------------------------------------------------

TEST_F(JsonTest, PlainAndJsonTexts) {
  auto doc = Load(kSample);
  const struct {
    const char* path;
    const char* plain;
    const char* json;
  } cases[] = {
      {"data.translate.dit", "hello", R"("hello")"},
      {"data.translate.n", "12.5", "12.5"},
      {"data.translate.list", "1,two,,[object Object]", R"([1,"two",null,{"k":true}])"},
      {"obj", "[object Object]", "{}"},
      {"empty", "", "[]"},
      {"flag", "false", "false"},
      {"nothing", "", "null"},
      {"missing", "", ""},
      {"missing.b", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(doc->GetText(c.path, false), c.plain);
    EXPECT_EQ(doc->GetText(c.path, true), c.json);
    EXPECT_EQ(doc->GetJson(c.path), c.json);
  }
}

TEST_F(JsonTest, ToJsonIsCompactInMemberOrder) {
  auto doc = Load(R"( { "b" : 1, "a" : [ true , null ], "c" : { } } )");
  EXPECT_EQ(doc->ToJson(), R"({"b":1,"a":[true,null],"c":{}})");
}

TEST_F(JsonTest, ChineseKoreanAndEmojiTextsKeepTheirCharacters) {
  auto doc = Load(Sys(R"({"zh":"中文","ko":"안녕","emoji":"😀"})"));
  EXPECT_EQ(doc->GetText("zh", false), Sys("中文"));
  EXPECT_EQ(doc->GetText("zh", false), "\xD6\xD0\xCE\xC4");
  EXPECT_EQ(doc->GetText("ko", false), Sys("안녕"));
  EXPECT_EQ(doc->GetJson("emoji"), Sys(R"("😀")"));
  EXPECT_EQ(doc->GetNumber("emoji.length"), 2.0) << "one character, two UTF-16 units";
}

TEST_F(JsonTest, ItemTexts) {
  auto doc = Load(kSample);
  const Text list = "data.translate.list";
  EXPECT_EQ(doc->GetItemText(1, list, false), "two");
  EXPECT_EQ(doc->GetItemText(0, list, false), "") << "a number element has no replace";
  EXPECT_EQ(doc->GetText(list + "[0]", false), "1");
  EXPECT_EQ(doc->GetItemText(0, list, true), "1");
  EXPECT_EQ(doc->GetItemText(3, list, true), R"({"k":true})");
  EXPECT_EQ(doc->GetItemText(9, list, true), "");
  EXPECT_EQ(doc->GetItemText(-1, list, true), "");
}

TEST_F(JsonTest, BackslashesReadBackAsBackslashes) {
  // A backslash escaped in the JSON text, and the marker character itself.
  auto doc = Load(Sys(R"({"esc":"a\\b","marker":"a␀b"})"));
  EXPECT_EQ(doc->GetText("esc", false), "a\\b");
  EXPECT_EQ(doc->GetJson("esc"), R"("a\\b")") << "the escape stays in JSON";
  EXPECT_EQ(doc->GetText("marker", false), "a\\b");
  EXPECT_EQ(doc->GetJson("marker"), R"("a\b")") << "the marker becomes one bare backslash";
  EXPECT_EQ(doc->ToJson(), R"({"esc":"a\\b","marker":"a\b"})");
  TextList values;
  ASSERT_EQ(doc->GetAllValues(values, "", false), 2);
  EXPECT_EQ(values[1], Sys("a␀b")) << "the value lists keep the marker";
}

// --- Numbers and counts ----------------------------------------------------------------

TEST_F(JsonTest, NumbersAndCounts) {
  auto doc = Load(kSample);
  EXPECT_EQ(doc->GetNumber("data.translate.n"), 12.5);
  EXPECT_EQ(doc->GetNumber("data.translate.list[0]"), 1.0);
  EXPECT_EQ(doc->GetNumber("data.translate.dit"), 0.0);
  EXPECT_EQ(doc->GetNumber("missing.b"), 0.0);
  EXPECT_EQ(doc->GetCount("data.translate.list"), 4);
  EXPECT_EQ(doc->GetCount("empty"), 0);
  EXPECT_EQ(doc->GetCount("obj"), 0);
  EXPECT_EQ(doc->GetCount("data.translate.dit"), 0);
  EXPECT_EQ(doc->GetCount("nothing"), 0);
  EXPECT_EQ(doc->GetCount("missing.b"), 0);
}

// --- Names and values ---------------------------------------------------------------------

TEST_F(JsonTest, Names) {
  auto doc = std::make_unique<JsonDocument>();
  ScriptErrorInfo error;
  // Loaded as script, so the value may hold a function.
  ASSERT_TRUE(doc->Parse(R"({"b":1,"a":{"c":2},"f":function(){},"s":"x"})", false, error, false));
  TextList names = {"stale"};
  EXPECT_EQ(doc->GetNames(names, ""), 3);
  EXPECT_EQ(names, (TextList{"b", "a", "s"}));
  EXPECT_EQ(doc->GetNames(names, "a"), 1);
  EXPECT_EQ(names, (TextList{"c"}));
  EXPECT_EQ(doc->GetNames(names, "s"), 0) << "a string has no names";
  EXPECT_TRUE(names.empty());

  auto array = Load("[1,2]");
  names = {"stale"};
  EXPECT_EQ(array->GetNames(names, ""), 0);
  EXPECT_TRUE(names.empty());
}

TEST_F(JsonTest, AllValuesSplitting) {
  const struct {
    const char* name;
    Text json;
    bool recursive;
    TextList values;
  } cases[] = {
      {"FlatSkipsNested", R"({"a":1,"b":{"c":2},"d":"x"})", false, {"1", "x"}},
      {"RecursiveDepthFirst",
       R"({"a":1,"b":{"c":2,"e":[3,true]},"d":"x"})",
       true,
       {"1", "2", "3", "true", "x"}},
      {"TrailingEmptyStringLost", R"({"a":"x","b":"","c":"y","d":""})", false, {"x", "", "y"}},
      {"LeadingEmptyStringKept", R"(["","x"])", false, {"", "x"}},
      {"NullsAndFunctionsPassedOver", R"([null,1.5,false])", false, {"1.5", "false"}},
      // Loaded as script, the JSON string "'abc'" yields the string abc.
      {"ScalarHasNoValues", R"("'abc'")", false, {}},
      {"SeparatorInsideAValueCutsIt",
       Sys(R"(["p[2020年7月20日20时0分0秒]q","中文"])"),
       false,
       {"p", "q", Sys("中文")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto doc = std::make_unique<JsonDocument>();
    ScriptErrorInfo error;
    ASSERT_TRUE(doc->Parse(c.json, false, error, false));
    TextList values = {"stale"};
    EXPECT_EQ(doc->GetAllValues(values, "", c.recursive), static_cast<int>(c.values.size()));
    EXPECT_EQ(values, c.values);
  }
}

TEST_F(JsonTest, AllValuesOfAMissingPathAreNone) {
  auto doc = Load(kSample);
  TextList values = {"stale"};
  EXPECT_EQ(doc->GetAllValues(values, "missing.b", true), 0);
  EXPECT_TRUE(values.empty());
}

TEST_F(JsonTest, SeparatorIsTheSystemCharsetText) {
  EXPECT_EQ(Text(kAllValuesSeparator), Sys("[2020年7月20日20时0分0秒]"));
}

// --- Sub-documents ------------------------------------------------------------------------

TEST_F(JsonTest, SubDocumentsHoldACopy) {
  auto doc = Load(kSample);
  auto sub = doc->GetSubDocument("data.translate");
  EXPECT_EQ(sub->ToJson(), R"({"dit":"hello","n":12.5,"list":[1,"two",null,{"k":true}]})");
  EXPECT_EQ(sub->GetText("list[1]", false), "two");
  EXPECT_FALSE(sub->GetEngine() == doc->GetEngine());
  EXPECT_TRUE(sub->SetValue("dit", "changed", false));
  EXPECT_EQ(doc->GetText("data.translate.dit", false), "hello");

  auto item = doc->GetItemDocument(3, "data.translate.list");
  EXPECT_EQ(item->ToJson(), R"({"k":true})");
  EXPECT_EQ(doc->GetSubDocument("data.translate.n")->ToJson(), "12.5");
  EXPECT_EQ(doc->GetSubDocument("nothing")->ToJson(), "null");
}

TEST_F(JsonTest, SubDocumentOfAStringOrAMissingMemberIsEmpty) {
  auto doc = Load(kSample);
  // The string comes back as script source: hello names nothing.
  auto text = doc->GetSubDocument("data.translate.dit");
  EXPECT_EQ(text->ToJson(), "null");
  EXPECT_EQ(text->GetKind(""), kJsonNull);
  auto missing = doc->GetSubDocument("missing");
  EXPECT_EQ(missing->ToJson(), "");
  EXPECT_EQ(Peek(*missing, "typeof da"), "undefined");
}

// --- Parse ----------------------------------------------------------------------------------

TEST_F(JsonTest, ParseCases) {
  const struct {
    const char* name;
    const char* text;
    bool assignDirectly;
    bool ok;
    const char* json;  // ToJson afterwards
  } cases[] = {
      {"Object", R"({"a":1})", false, true, R"({"a":1})"},
      {"ObjectAssignedDirectly", R"({"a":1})", true, true, R"({"a":1})"},
      {"Array", "[1,[2]]", false, true, "[1,[2]]"},
      {"Number", "-0.5e1", false, true, "-5"},
      {"Zero", "0", false, true, "0"},
      {"False", "false", false, true, "false"},
      {"Null", "null", false, false, "null"},
      {"Empty", "", false, false, ""},
      {"EmptyAssignedDirectly", "", true, false, "null"},
      {"StringNamingNothing", R"("abc")", false, false, "null"},
      {"StringHoldingScript", R"("1+1")", false, true, "2"},
      {"StringAssignedDirectly", R"("abc")", true, true, R"("abc")"},
      {"NotJson", "<html><body>502</body></html>", false, false, "null"},
      {"Truncated", R"({"a":)", false, false, "null"},
      {"TrailingText", R"({"a":1} x)", false, false, "null"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    JsonDocument doc;
    ScriptErrorInfo error;
    EXPECT_EQ(doc.Parse(c.text, c.assignDirectly, error, false), c.ok);
    EXPECT_EQ(doc.ToJson(), c.json);
    EXPECT_EQ(doc.Exists(""), c.ok);
  }
}

TEST_F(JsonTest, ParseFillsTheErrorInfoOnRequest) {
  JsonDocument doc;
  ScriptErrorInfo error;
  error.Text = "stale";
  EXPECT_FALSE(doc.Parse("{\"a\":\n}", false, error, true));
  EXPECT_EQ(error.Number, script::kErrorSyntax);
  EXPECT_FALSE(error.Description.empty());
  EXPECT_FALSE(error.Source.empty());
  EXPECT_GE(error.Line, 1);

  ScriptErrorInfo untouched;
  untouched.Number = 99;
  EXPECT_FALSE(doc.Parse("{", false, untouched, false));
  EXPECT_EQ(untouched.Number, 99) << "fillError false leaves the record alone";

  ScriptErrorInfo cleared;
  cleared.Number = 99;
  cleared.Description = "stale";
  EXPECT_TRUE(doc.Parse("[1]", false, cleared, true));
  EXPECT_EQ(cleared.Number, 0) << "a successful load clears the record too";
  EXPECT_EQ(cleared.Description, "");
}

TEST_F(JsonTest, EveryParseStartsInAFreshEngine) {
  JsonDocument doc;
  ScriptErrorInfo error;
  ASSERT_TRUE(doc.Parse(R"({"a":1})", false, error, false));
  const ComObject first = doc.GetEngine();
  Peek(doc, "var leftover = 5");
  EXPECT_FALSE(doc.Parse("{", false, error, false));
  EXPECT_FALSE(doc.GetEngine() == first);
  EXPECT_EQ(doc.GetKind("a"), kJsonUnknown) << "the value before is gone";
  EXPECT_EQ(Peek(doc, "typeof leftover"), "undefined");
  EXPECT_EQ(Peek(doc, "typeof get__extend"), "function") << "the library is loaded again";
}

TEST_F(JsonTest, ConstructionLeavesAnEmptyObject) {
  JsonDocument doc;
  EXPECT_EQ(doc.VariableName(), "da");
  EXPECT_EQ(doc.ToJson(), "{}");
  EXPECT_EQ(doc.GetKind(""), kJsonObject);
  EXPECT_EQ(Peek(doc, "str_Code.charCodeAt(0)"), "9216");
}

TEST_F(JsonTest, EngineTimeoutIsPassedOnToEveryEngine) {
  JsonDocument doc(250);
  EXPECT_EQ(platform::GetNumberProperty(doc.GetEngine(), "Timeout"), 250.0);
  ScriptErrorInfo error;
  ASSERT_TRUE(doc.Parse(R"({"a":{"b":1}})", false, error, false));
  EXPECT_EQ(platform::GetNumberProperty(doc.GetEngine(), "Timeout"), 250.0);
  EXPECT_EQ(platform::GetNumberProperty(doc.GetSubDocument("a")->GetEngine(), "Timeout"), 250.0);
  EXPECT_EQ(platform::GetNumberProperty(JsonDocument().GetEngine(), "Timeout"),
            static_cast<double>(script::kDefaultTimeoutMs));
}

// --- Engine sharing and ownership ----------------------------------------------------------

TEST_F(JsonTest, CloneSharesTheEngineUntilItParses) {
  auto doc = Load(R"({"a":1})");
  auto clone = doc->Clone();
  EXPECT_EQ(clone->VariableName(), "da");
  EXPECT_TRUE(clone->GetEngine() == doc->GetEngine());
  EXPECT_TRUE(clone->SetValue("b", "2", true));
  EXPECT_EQ(doc->ToJson(), R"({"a":1,"b":2})");

  ScriptErrorInfo error;
  ASSERT_TRUE(clone->Parse("[3]", false, error, false));
  EXPECT_FALSE(clone->GetEngine() == doc->GetEngine());
  EXPECT_EQ(doc->ToJson(), R"({"a":1,"b":2})");
  EXPECT_EQ(clone->ToJson(), "[3]");

  auto again = doc->Clone();
  doc.reset();
  EXPECT_EQ(again->ToJson(), R"({"a":1,"b":2})") << "the engine lives while a clone holds it";
}

TEST_F(JsonTest, GetEngineHandsOutAReference) {
  JsonDocument doc;
  ComObject engine = doc.GetEngine();
  const long before = engine.UseCount();
  {
    ComObject second = doc.GetEngine();
    EXPECT_EQ(engine.UseCount(), before + 1);
  }
  EXPECT_EQ(engine.UseCount(), before);
}

TEST_F(JsonTest, AutomationInitialisationIsBalanced) {
  const int depth = ComInitCount();
  {
    JsonDocument doc;
    EXPECT_EQ(ComInitCount(), depth + 1);
    ScriptErrorInfo error;
    for (int i = 0; i < 3; ++i) doc.Parse(R"({"a":[1]})", false, error, false);
    auto clone = doc.Clone();
    auto sub = doc.GetSubDocument("a");
    auto item = doc.GetItemDocument(0, "a");
  }
  EXPECT_EQ(ComInitCount(), depth);
}

TEST_F(JsonTest, DocumentsWorkOnAThreadOfTheirOwn) {
  Text got;
  std::thread worker([&] {
    JsonDocument doc;
    ScriptErrorInfo error;
    if (doc.Parse(R"({"a":"b"})", false, error, false)) got = doc.GetText("a", false);
  });
  worker.join();
  EXPECT_EQ(got, "b");
}

TEST_F(JsonTest, WithoutAScriptControlEverythingFailsQuietly) {
  platform::ScopedObjectOverride none(kJsonEngineProgId, nullptr);
  JsonDocument doc;
  EXPECT_TRUE(doc.GetEngine().Empty());
  ScriptErrorInfo error;
  error.Number = 42;
  EXPECT_FALSE(doc.Parse(R"({"a":1})", false, error, true));
  EXPECT_EQ(error.Number, 42) << "not touched when there is no engine";
  EXPECT_EQ(doc.GetKind("a"), kJsonUnknown);
  EXPECT_FALSE(doc.Exists(""));
  EXPECT_EQ(doc.GetText("a", true), "");
  EXPECT_EQ(doc.ToJson(), "");
  EXPECT_EQ(doc.GetNumber("a"), 0.0);
  TextList names = {"stale"};
  EXPECT_EQ(doc.GetNames(names, ""), 0);
  EXPECT_TRUE(names.empty());
  EXPECT_FALSE(doc.SetValue("a", "1", false));
  EXPECT_FALSE(doc.Clear());
  EXPECT_TRUE(doc.Clone()->GetEngine().Empty());
}

// --- Slots -----------------------------------------------------------------------------------

// Operations reach one another through their slots: a derived document sees
// the calls.
class RecordingDocument : public JsonDocument {
 public:
  bool ResolvePath(Text& path) override {
    resolved.push_back(path);
    return JsonDocument::ResolvePath(path);
  }
  Text GetText(const Text& path, bool asJson) override {
    textCalls.push_back(path + (asJson ? ":json" : ":plain"));
    return JsonDocument::GetText(path, asJson);
  }
  TextList resolved;
  TextList textCalls;
};

TEST_F(JsonTest, OperationsCallOneAnotherThroughTheirSlots) {
  RecordingDocument doc;
  doc.Exists("a");
  EXPECT_EQ(doc.resolved, (TextList{"a"}));
  doc.GetJson("b");
  EXPECT_EQ(doc.textCalls, (TextList{"b:json"}));
  doc.resolved.clear();
  doc.GetKind("c");
  doc.SetValue("d", "1", true);
  EXPECT_EQ(doc.resolved, (TextList{"c", "d"}));
}

// --- What the translator does with a reply --------------------------------------------------

// The translator's reading of one reply: the value at the path by its kind.
Text PickLikeTheTranslator(const Text& reply, const Text& path) {
  JsonDocument doc;
  ScriptErrorInfo error;
  const Text text = RemoveByte(RemoveByte(reply, '\r'), '\n');
  if (!doc.Parse(text, false, error, false)) return Sys("JSON解析失败");
  switch (doc.GetKind(path)) {
    case kJsonString:
      return doc.GetText(path, false);
    case kJsonBoolean:
      return doc.GetJson(path);
    case kJsonNumber:
      return doc.GetSubDocument(path)->ToJson();
    default:
      return doc.GetText(path, true);
  }
}

TEST_F(JsonTest, TranslatorReadsRepliesOfEveryKind) {
  const Text path = "data.translate.dit";
  const auto reply = [](const std::string& dit) {
    return Sys(R"({"status":0,"data":{"translate":{"errorCode":"0","dit":)" + dit + "}}}");
  };
  const struct {
    const char* name;
    Text reply;
    Text shown;
  } cases[] = {
      {"String", reply(R"("你好，世界")"), Sys("你好，世界")},
      {"KoreanString", reply(R"("안녕하세요")"), Sys("안녕하세요")},
      {"StringWithEscapes", reply(R"("a\"b\\c\nd")"), "a\"b\\c\nd"},
      {"Integer", reply("42"), "42"},
      {"Fraction", reply("0.1"), "0.1"},
      {"Boolean", reply("true"), "true"},
      {"Null", reply("null"), "null"},
      {"Object", reply(R"({"x":[1]})"), R"({"x":[1]})"},
      {"Array", reply(R"(["a","b"])"), R"(["a","b"])"},
      {"Missing", Sys(R"({"data":{"translate":{}}})"), ""},
      {"MissingParent", Sys(R"({"status":1})"), ""},
      {"LineBreaksInTheReply", Sys("{\r\n\"data\":\r\n{\"translate\":{\"dit\":\"ok\"}}}\r\n"),
       "ok"},
      {"EmptyReply", "", Sys("JSON解析失败")},
      {"HtmlErrorPage", "<html>502 Bad Gateway</html>", Sys("JSON解析失败")},
      {"ScalarNull", "null", Sys("JSON解析失败")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PickLikeTheTranslator(c.reply, path), c.shown);
  }
}

}  // namespace
}  // namespace vyrelo::json
