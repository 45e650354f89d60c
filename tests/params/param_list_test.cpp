#include "params/param_list.h"

#include <gtest/gtest.h>

namespace vyrelo::params {
namespace {

TEST(ParamListRender, QueryStringHeaderBlockAndJson) {
  ParamList form;
  form.Add("pid", "x");
  form.Add("from", "en");
  form.Add("to", "zh-CHS");
  EXPECT_EQ(form.ToQueryString(), "pid=x&from=en&to=zh-CHS");

  ParamList headers;
  headers.Add("Host", "h");
  headers.Add("Accept", "*/*");
  EXPECT_EQ(headers.ToHeaderBlock(), "Host: h\r\nAccept: */*");

  ParamList json;
  json.Add("a", "1");
  json.Add("b", "x\"y");
  EXPECT_EQ(json.ToJson(), "{\"a\":\"1\",\"b\":\"x\\\"y\"}");

  ParamList single;
  single.Add("k", "v\"w");
  EXPECT_EQ(single.ToJson(), "{\"k\":\"v\\\"w\"}");
  EXPECT_EQ(single.ToJson().size(), 12u);

  ParamList empty;
  EXPECT_EQ(empty.ToQueryString(), "");
  EXPECT_EQ(empty.ToHeaderBlock(), "");
  EXPECT_EQ(empty.ToJson(), "{}");
}

TEST(ParamListRender, EncodedForms) {
  ParamList q;
  q.Add("q", "a b&c");
  EXPECT_EQ(q.ToQueryString(true), "q=a+b%26c");

  ParamList h;
  h.Add("X-Name", "a b");
  EXPECT_EQ(h.ToHeaderBlock(true), "X-Name: a+b");
  ParamList spacedName;
  spacedName.Add("X Name", "v");
  EXPECT_EQ(spacedName.ToHeaderBlock(true), "X Name: v");
}

TEST(PercentEncodeTest, ByteWise) {
  const struct {
    const char* name;
    Text in;
    Text out;
  } cases[] = {
      {"unreserved stay", "Az09-_.'()*", "Az09-_.'()*"},
      {"tilde and bang escaped", "~!", "%7E%21"},
      {"space is plus", " ", "+"},
      {"slash", "/", "%2F"},
      {"high bytes escaped one by one", "\xD6\xD0", "%D6%D0"},
      {"empty", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PercentEncode(c.in), c.out);
  }
}

TEST(ParamListLookup, FirstPairWinsAndNamesAreCaseSensitive) {
  ParamList list;
  list.Add("k", "1");
  list.Add("k", "2");
  EXPECT_EQ(list.Get("k"), "1");
  EXPECT_EQ(list.Get("K"), "");
  list.Set("k", "3");
  TextList values;
  list.GetValues(values);
  EXPECT_EQ(values, (TextList{"3", "2"}));
  list.Remove("k");
  list.GetValues(values);
  EXPECT_EQ(values, (TextList{"2"}));
  list.Set("new", "n");
  TextList names{"stale"};
  list.GetNames(names);
  EXPECT_EQ(names, (TextList{"k", "new"}));
  list.Remove("absent");
  EXPECT_EQ(list.Size(), 2u);
  list.Clear();
  EXPECT_EQ(list.Size(), 0u);
}

TEST(ParamListAddFromQuery, PiecesAndEdgeCases) {
  const struct {
    const char* name;
    Text query;
    TextList names;
    TextList values;
  } cases[] = {
      {"value after the last =", "a=b=c", {"a"}, {"c"}},
      {"piece without = gives an empty pair", "a&b=1", {"", "b"}, {"", "1"}},
      {"trailing & adds nothing", "x=1&", {"x"}, {"1"}},
      {"empty text adds nothing", "", {}, {}},
      {"nothing is decoded", "q=a+b%20", {"q"}, {"a+b%20"}},
      {"leading & gives an empty pair", "&x=1", {"", "x"}, {"", "1"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ParamList list;
    list.AddFromQuery(c.query);
    TextList names, values;
    list.GetNames(names);
    list.GetValues(values);
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(values, c.values);
  }
}

TEST(ParamListAdd, Utf8StoresUtf8Bytes) {
  ParamList list;
  list.Add("\xD6\xD0", "\x83\x36\x84\x33", true);
  list.AddFromQuery("\xCE\xC4=a", true);
  EXPECT_EQ(list.ToQueryString(), "\xE4\xB8\xAD=\xED\x95\x9C&\xE6\x96\x87=a");
}

TEST(ParamListStripAffix, EndThenStart) {
  ParamList list;
  const struct {
    const char* name;
    Text in;
    Text affix;
    Text out;
  } cases[] = {
      {"both ends", ",a,", ",", "a"},
      {"a lone affix", ",", ",", ""},
      {"only one occurrence each", ",,a,,", ",", ",a,"},
      {"empty affix changes nothing", "a", "", "a"},
      {"multi-byte affix", "xyAxy", "xy", "A"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Text text = c.in;
    EXPECT_EQ(list.StripAffix(text, c.affix), c.out);
    EXPECT_EQ(text, c.out);
  }
}

// Operations reach one another through their virtual slots, so a derived
// list sees them.
class RecordingList : public ParamList {
 public:
  void Add(const Text& name, const Text& value, bool utf8) override {
    calls.push_back("Add(" + name + "," + value + (utf8 ? ",utf8)" : ")"));
    ParamList::Add(name, value, utf8);
  }
  Text EscapeQuotes(const Text& text) const override {
    calls.push_back("Escape(" + text + ")");
    return ParamList::EscapeQuotes(text);
  }
  Text StripAffix(Text& text, const Text& affix) const override {
    calls.push_back("Strip(" + affix + ")");
    return ParamList::StripAffix(text, affix);
  }
  mutable TextList calls;
};

TEST(ParamListSlots, OperationsCallThroughVirtualSlots) {
  RecordingList list;
  list.AddFromQuery("a=1&b=2", true);
  list.Set("c", "3");
  list.Set("c", "4");
  list.calls.push_back("--");
  list.ToJson();
  EXPECT_EQ(list.calls, (TextList{"Add(a,1,utf8)", "Add(b,2,utf8)", "Add(c,3)", "--", "Escape(1)",
                                  "Escape(2)", "Escape(4)", "Strip(,)"}));
  auto copy = list.Copy();
  EXPECT_EQ(copy->ToQueryString(), "a=1&b=2&c=4");
  list.Clear();
  EXPECT_EQ(copy->Size(), 3u);
}

}  // namespace
}  // namespace vyrelo::params
