// The engine wrapper underneath the Script Control: text conversion, the
// capping allocator and the recovery from a fatal error.
#include "script/duk_heap.h"

#include <gtest/gtest.h>

#include <cstring>

namespace vyrelo::script::detail {
namespace {

TEST(Cesu8, RoundTripsEveryKindOfUnit) {
  struct Case {
    const char* name;
    std::u16string units;
    std::string bytes;
  } cases[] = {
      {"ascii", u"abc", "abc"},
      {"two_byte", u"\u00E9", "\xC3\xA9"},
      {"three_byte", u"\u4E2D", "\xE4\xB8\xAD"},
      {"surrogate_pair_as_two_units", u"\U0001F600", "\xED\xA0\xBD\xED\xB8\x80"},
      {"lone_surrogate", std::u16string(1, char16_t{0xD800}), "\xED\xA0\x80"},
      {"zero_unit", std::u16string(1, u'\0'), std::string(1, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf16ToCesu8(c.units), c.bytes);
    EXPECT_EQ(Cesu8ToUtf16(c.bytes), c.units);
  }
}

TEST(Cesu8, DecodesFourByteUtf8AndReplacesMalformedBytes) {
  EXPECT_EQ(Cesu8ToUtf16("\xF0\x9F\x98\x80"), u"\U0001F600");
  struct Case {
    const char* name;
    std::string bytes;
    std::u16string units;
  } cases[] = {
      {"stray_continuation", "a\x80z", u"a\uFFFDz"},
      {"truncated", "a\xE4\xB8", u"a\uFFFD"},
      {"overlong", "\xC0\xAF", u"\uFFFD"},
      {"beyond_unicode", "\xF4\x90\x80\x80", u"\uFFFD"},
      {"duktape_extended_form", "\xF8\x88\x80\x80\x80x", u"\uFFFDx"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Cesu8ToUtf16(c.bytes), c.units);
  }
}

TEST(CappingAllocator, RefusesPastTheLimitAndCountsWhatIsOut) {
  CappingAllocator a(1000);
  void* p = a.Allocate(600);
  ASSERT_NE(p, nullptr);
  std::memset(p, 1, 600);
  EXPECT_EQ(a.Used(), 600u);
  EXPECT_EQ(a.Allocate(500), nullptr);
  EXPECT_TRUE(a.Refused());
  a.ClearRefused();
  EXPECT_EQ(a.Reallocate(p, 1001), nullptr);
  EXPECT_TRUE(a.Refused());
  EXPECT_EQ(a.Used(), 600u);
  p = a.Reallocate(p, 900);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(p)[599], 1);
  EXPECT_EQ(a.Used(), 900u);
  void* q = a.Allocate(100);
  ASSERT_NE(q, nullptr);
  a.Free(p);
  EXPECT_EQ(a.Used(), 100u);
  // ReleaseAll (also run by the destructor) frees what is left; the
  // sanitizer build would report a leak otherwise.
  a.ReleaseAll();
  EXPECT_EQ(a.Used(), 0u);
}

duk_ret_t Fatal(duk_context* ctx, void*) {
  duk_fatal(ctx, "deliberate");
  return 0;
}

duk_ret_t DefineGlobal(duk_context* ctx, void*) {
  duk_eval_string_noresult(ctx, "var marker = 1;");
  return 0;
}

duk_ret_t ReadGlobal(duk_context* ctx, void* udata) {
  duk_eval_string(ctx, "typeof marker");
  *static_cast<std::string*>(udata) = duk_get_string(ctx, -1);
  return 0;
}

TEST(DukHeap, AFatalErrorDropsTheHeapInsteadOfAbortingTheProcess) {
  DukHeap heap(16u << 20);
  ASSERT_TRUE(heap.Valid());
  ASSERT_TRUE(heap.Call(&DefineGlobal, nullptr, 1000).completed);
  const CallOutcome fatal = heap.Call(&Fatal, nullptr, 1000);
  EXPECT_FALSE(fatal.completed);
  EXPECT_TRUE(fatal.fatal);
  EXPECT_NE(fatal.message.find("deliberate"), std::string::npos);
  EXPECT_FALSE(heap.Valid());
  EXPECT_EQ(heap.MemoryUsed(), 0u);
  // The next call gets a fresh heap.
  std::string type;
  ASSERT_TRUE(heap.Call(&ReadGlobal, &type, 1000).completed);
  EXPECT_EQ(type, "undefined");
}

TEST(DukHeap, AHeapThatCannotBeMadeReportsWhy) {
  DukHeap heap(1024);
  EXPECT_FALSE(heap.Valid());
  EXPECT_NE(heap.CreationError().find("memory limit"), std::string::npos);
  const CallOutcome outcome = heap.Call(&DefineGlobal, nullptr, 1000);
  EXPECT_FALSE(outcome.completed);
  EXPECT_EQ(outcome.message, heap.CreationError());
}

}  // namespace
}  // namespace vyrelo::script::detail
