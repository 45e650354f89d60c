// Cookie texts: the small text operations, the collection of Set-Cookie
// lines, the merge into the caller's jar and the Cookie request header.
#include <gtest/gtest.h>

#include <memory>

#include "recording_request.h"
#include "web/cookies.h"

namespace {

using vyrelo::Text;
using vyrelo::TextList;
using vyrelo::testing::RecordingRequest;
using namespace vyrelo::web;

TEST(TextBefore, Table) {
  struct Case {
    const char* name;
    Text text, separator, expected;
  } cases[] = {
      {"found", "Set-Cookie: a=1", ": ", "Set-Cookie"},
      {"first_occurrence", "a: b: c", ": ", "a"},
      {"at_start", ": x", ": ", ""},
      {"missing", "Set-Cookie:a=1", ": ", ""},
      {"case_sensitive", "aXb", "x", ""},
      {"inside_double_byte_not_found", "\x81:\x20", ": ", ""},
      {"empty_text", "", ": ", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextBefore(c.text, c.separator), c.expected);
  }
}

TEST(TextBetween, Table) {
  struct Case {
    const char* name;
    Text text, left, right, expected;
  } cases[] = {
      {"plain", "Set-Cookie: a=1; path=/", "Set-Cookie:", ";", " a=1"},
      {"first_left_first_right_after_it", ";x[1;2]3]", "[", "]", "1;2"},
      {"right_before_left_ignored", "];[a]", "[", "]", "a"},
      {"adjacent", "[]", "[", "]", ""},
      {"no_left", "a=1;", "Set-Cookie:", ";", ""},
      {"no_right", "Set-Cookie: a=1", "Set-Cookie:", ";", ""},
      {"left_at_end", "x[", "[", "]", ""},
      {"case_sensitive", "set-cookie: a;", "Set-Cookie:", ";", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected);
  }
}

TEST(CookieName, Table) {
  struct Case {
    const char* name;
    Text item, expected;
  } cases[] = {
      {"plain", "a=1", "a"},          {"trimmed", " a =1", "a"},
      {"first_equals", "a=b=c", "a"}, {"no_equals_whole_item", " flag ", "flag"},
      {"empty_name", "=v", ""},       {"empty", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CookieName(c.item), c.expected);
  }
}

TEST(HasCookieNamedAndIndexOfText, Table) {
  const TextList items = {"a=1", " b=2", "c", "a=3"};
  EXPECT_TRUE(HasCookieNamed(items, "a"));
  EXPECT_TRUE(HasCookieNamed(items, "b"));
  EXPECT_TRUE(HasCookieNamed(items, "c"));
  EXPECT_FALSE(HasCookieNamed(items, "A"));
  EXPECT_FALSE(HasCookieNamed(items, "a=1"));
  EXPECT_FALSE(HasCookieNamed({}, ""));

  EXPECT_EQ(IndexOfText(items, "a=1"), 1);
  EXPECT_EQ(IndexOfText(items, "a=3"), 4);
  EXPECT_EQ(IndexOfText(items, "b=2"), -1);
  EXPECT_EQ(IndexOfText({}, ""), -1);
  EXPECT_EQ(IndexOfText({"x", "", ""}, ""), 2);
}

TEST(RemoveDuplicateItems, Table) {
  struct Case {
    const char* name;
    Text text, expected;
  } cases[] = {
      {"exact_repeats_go", "x=1; x=1", "x=1"},
      {"same_name_other_value_stays", "x=1; x=2", "x=1; x=2"},
      {"first_occurrence_order", "b; a; b; c; a", "b; a; c"},
      {"case_matters", "a; A", "a; A"},
      {"empty", "", ""},
      {"trailing_separator_dropped", "a; ", "a"},
      {"empty_items_folded", "; ; a", "; a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(RemoveDuplicateItems(c.text, "; "), c.expected);
  }
}

TEST(MergeCookieText, Table) {
  struct Case {
    const char* name;
    Text caller, received, expected, receivedAfter;
  } cases[] = {
      {"received_replaces_and_leads", "a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3; c=4"},
      {"deleted_drops_the_old", "a=1; b=2", "a=deleted", "b=2", "a=deleted"},
      {"trailing_semicolon", "a=1;", "", "a=1", ""},
      {"first_of_a_name_kept", "a=1; a=2", "", "a=1", ""},
      {"exact_duplicates_received", "", "x=1; x=1", "x=1", "x=1; x=1"},
      {"same_name_received_both_stay", "", "x=1; x=2", "x=1; x=2", "x=1; x=2"},
      {"both_empty", "", "", "", ""},
      {"trimmed", "  a=1 \xA1\xA1", " b=2;", "b=2; a=1", "b=2; "},
      {"old_deleted_dropped_too", "a=deleted; b=2", "", "b=2", ""},
      {"deleted_is_case_sensitive", "a=1", "a=Deleted", "a=Deleted", "a=Deleted"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Text caller = c.caller;
    Text received = c.received;
    EXPECT_EQ(MergeCookieText(caller, received), c.expected);
    EXPECT_EQ(caller, c.expected);
    EXPECT_EQ(received, c.receivedAfter);
  }
}

TEST(CollectResponseCookies, Table) {
  struct Case {
    const char* name;
    Text headers, expected;
  } cases[] = {
      {"two_cookies", "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2", "a=1; b=2"},
      {"none", "Content-Type: text/html\r\nContent-Length: 3", ""},
      {"empty", "", ""},
      {"lower_case_ignored", "set-cookie: a=1", ""},
      {"no_space_ignored", "Set-Cookie:a=1", ""},
      {"attributes_dropped", "Set-Cookie:  s=v ; HttpOnly; Secure", "s=v"},
      {"empty_item_kept", "Set-Cookie: ; path=/\r\nSet-Cookie: b=2", "; b=2"},
      {"duplicates_kept_in_order", "Set-Cookie: a=1\r\nX: y\r\nSet-Cookie: a=1", "a=1; a=1"},
      {"mixed_case_prefix_removed", "Set-Cookie: a=1 SET-COOKIE:", "a=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CollectResponseCookies(c.headers), c.expected);
  }
}

TEST(SetCookieHeader, CleansTheCallersTextAndSends) {
  struct Case {
    const char* name;
    Text cookies, cleaned;
  } cases[] = {
      {"plain", "a=1", "a=1"},
      {"prefix", "Cookie: a=1", " a=1"},
      {"upper_prefix", "COOKIE: a=1", " a=1"},
      {"every_occurrence", "cookie:a=1; Cookie:b=2", "a=1; b=2"},
      {"empty_still_sent", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto fake = std::make_shared<RecordingRequest>();
    Text cookies = c.cookies;
    SetCookieHeader(vyrelo::platform::ComObject(fake), cookies);
    EXPECT_EQ(cookies, c.cleaned);
    EXPECT_EQ(fake->calls, std::vector<std::string>{"SetRequestHeader(Cookie|" + c.cleaned + ")"});
  }
}

}  // namespace
