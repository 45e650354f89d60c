// Header block handling: the four text operations, the default headers, and
// the calls the application step makes on a recording request object.
#include <gtest/gtest.h>

#include <memory>

#include "recording_request.h"
#include "web/headers.h"

namespace {

using vyrelo::Text;
using vyrelo::testing::RecordingRequest;
using namespace vyrelo::web;

struct TextCase {
  const char* name;
  Text input;
  Text expected;
};

std::string CaseName(const ::testing::TestParamInfo<TextCase>& info) { return info.param.name; }

class HeaderNameCases : public ::testing::TestWithParam<TextCase> {};
TEST_P(HeaderNameCases, Name) { EXPECT_EQ(HeaderName(GetParam().input), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(
    Lines, HeaderNameCases,
    ::testing::Values(TextCase{"plain", "Accept: */*", "Accept"},
                      TextCase{"trimmed", "  X-A \xA1\xA1: v", "X-A"},
                      TextCase{"tab_kept", "\tX: v", "\tX"}, TextCase{"no_colon", "Accept */*", ""},
                      TextCase{"empty_name", ": v", ""},
                      TextCase{"first_colon_only", "Referer: http://a:1/", "Referer"},
                      TextCase{"empty", "", ""}),
    CaseName);

class HeaderValueCases : public ::testing::TestWithParam<TextCase> {};
TEST_P(HeaderValueCases, Value) { EXPECT_EQ(HeaderValue(GetParam().input), GetParam().expected); }
INSTANTIATE_TEST_SUITE_P(
    Lines, HeaderValueCases,
    ::testing::Values(TextCase{"plain", "Accept: */*", "*/*"},
                      TextCase{"no_space", "Accept:*/*", "*/*"},
                      TextCase{"url_keeps_colons", "Referer:  http://a.test:8080/x?y=1 ",
                               "http://a.test:8080/x?y=1"},
                      TextCase{"full_width_space_trimmed", "X:\xA1\xA1v\xA1\xA1", "v"},
                      TextCase{"no_colon", "Accept */*", ""}, TextCase{"empty_value", "X:", ""},
                      TextCase{"lf_stays", "X: a\nb", "a\nb"}),
    CaseName);

class CapitalizeFirstCases : public ::testing::TestWithParam<TextCase> {};
TEST_P(CapitalizeFirstCases, Capitalize) {
  EXPECT_EQ(CapitalizeFirst(GetParam().input), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(Texts, CapitalizeFirstCases,
                         ::testing::Values(TextCase{"lower", "accept", "Accept"},
                                           TextCase{"upper_kept", "ACCEPT", "ACCEPT"},
                                           TextCase{"nothing_lowered", "aCCEPT", "ACCEPT"},
                                           TextCase{"digit", "1a", "1a"},
                                           TextCase{"space_first", " a", " a"},
                                           TextCase{"double_byte",
                                                    "\xD6\xD0"
                                                    "a",
                                                    "\xD6\xD0"
                                                    "a"},
                                           TextCase{"single", "z", "Z"}, TextCase{"empty", "", ""}),
                         CaseName);

class NormalizeCases : public ::testing::TestWithParam<TextCase> {};
TEST_P(NormalizeCases, Normalize) {
  EXPECT_EQ(NormalizeHeaderBlock(GetParam().input), GetParam().expected);
}
INSTANTIATE_TEST_SUITE_P(
    Blocks, NormalizeCases,
    ::testing::Values(
        TextCase{"content_type", "content-type: x", "Content-Type: x"},
        TextCase{"three_pieces", "x-requested-with: y", "X-Requested-With: y"},
        TextCase{"upper_kept", "CONTENT-type: z", "CONTENT-Type: z"},
        TextCase{"trailing_dash", "x-: 1", "X-: 1"},
        TextCase{"two_trailing_dashes", "a--: 1", "A--: 1"},
        TextCase{"leading_dash", "-a: 1", "-A: 1"}, TextCase{"only_dash", "-: 1", "-: 1"},
        TextCase{"inner_double_dash", "a--b: 1", "A--B: 1"}, TextCase{"empty_name", ": v", ": v"},
        TextCase{"value_untouched", "accept:  text/html; q=a-b ", "Accept:  text/html; q=a-b "},
        TextCase{"space_before_name_kept", " accept: x", " accept: x"},
        TextCase{"colonless_dropped", "accept: x\r\nnonsense\r\nuser-agent: y",
                 "Accept: x\r\nUser-Agent: y"},
        TextCase{"empty_lines_dropped", "\r\na: 1\r\n\r\nb: 2\r\n", "A: 1\r\nB: 2"},
        TextCase{"bare_lf_inside_line", "a: 1\nb: 2", "A: 1\nb: 2"},
        TextCase{"nothing_left", "\r\nno colon\r\n", ""}, TextCase{"empty", "", ""}),
    CaseName);

struct DefaultsCase {
  const char* name;
  Text block;
  int method;
  Text expected;
};

TEST(AddDefaultHeaders, Table) {
  const Text url = "http://h.test/p";
  const Text accept = "\r\nAccept: */*";
  const Text referer = "\r\nReferer: " + url;
  const Text language = "\r\nAccept-Language: zh-cn";
  const Text agent = "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
  const Text type = "\r\nContent-Type: application/x-www-form-urlencoded";
  const DefaultsCase cases[] = {
      {"empty_post", "", 1, accept + referer + language + agent + type},
      {"empty_get", "", 0, accept + referer + language + agent},
      {"put_gets_no_type", "", 3, accept + referer + language + agent},
      {"accept_any_case", "accept: text/html", 0, "accept: text/html" + referer + language + agent},
      {"substring_counts", "x-accept: 1", 0, "x-accept: 1" + referer + language + agent},
      {"accept_language_is_not_accept", "Accept-Language: en", 0,
       "Accept-Language: en" + accept + referer + agent},
      {"all_present", "Accept: a\r\nReferer: r\r\nAccept-Language: l\r\nUser-Agent: u", 1,
       "Accept: a\r\nReferer: r\r\nAccept-Language: l\r\nUser-Agent: u" + type},
      {"trailing_crlf_gives_empty_line", "X: 1\r\n", 0,
       "X: 1\r\n" + accept + referer + language + agent},
  };
  for (const DefaultsCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AddDefaultHeaders(c.block, url, c.method), c.expected);
  }
}

TEST(AddDefaultHeaders, EmptyPostBlockNormalisesToFiveLines) {
  const Text url = "http://h.test/p";
  EXPECT_EQ(NormalizeHeaderBlock(AddDefaultHeaders("", url, 1)),
            "Accept: */*\r\nReferer: http://h.test/p\r\nAccept-Language: zh-cn\r\n"
            "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)\r\n"
            "Content-Type: application/x-www-form-urlencoded");
}

struct ApplyCase {
  const char* name;
  Text block;
  std::vector<std::string> expected;
};

TEST(ApplyHeaderBlock, Table) {
  const ApplyCase cases[] = {
      {"empty_block_one_empty_call", "", {"SetRequestHeader(|)"}},
      {"single_line", "X-A: 1", {"SetRequestHeader(X-A|1)"}},
      {"single_keep_alive_passed_on",
       "Connection: keep-alive",
       {"SetRequestHeader(Connection|keep-alive)"}},
      {"single_colonless", "garbage", {"SetRequestHeader(|)"}},
      {"keep_alive_skipped_in_a_block",
       "A: 1\r\nConnection: keep-alive\r\nB: 2",
       {"SetRequestHeader(A|1)", "SetRequestHeader(B|2)"}},
      {"keep_alive_other_case_passed_on",
       "A: 1\r\nConnection: Keep-Alive\r\nconnection: keep-alive",
       {"SetRequestHeader(A|1)", "SetRequestHeader(Connection|Keep-Alive)",
        "SetRequestHeader(connection|keep-alive)"}},
      {"empty_lines_skipped",
       "\r\nA: 1\r\n\r\nB: 2\r\n",
       {"SetRequestHeader(A|1)", "SetRequestHeader(B|2)"}},
      {"colonless_line_in_a_block",
       "A: 1\r\nnonsense",
       {"SetRequestHeader(A|1)", "SetRequestHeader(|)"}},
      {"value_with_colons",
       "Referer:  http://a.test:81/x \r\nB: 2",
       {"SetRequestHeader(Referer|http://a.test:81/x)", "SetRequestHeader(B|2)"}},
  };
  for (const ApplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    auto fake = std::make_shared<RecordingRequest>();
    ApplyHeaderBlock(vyrelo::platform::ComObject(fake), c.block);
    EXPECT_EQ(fake->calls, c.expected);
  }
}

TEST(ApplyHeaderBlock, ColonlessLineDisappearsOnlyWithNormalisation) {
  const Text block = "A: 1\r\nnonsense";
  auto fake = std::make_shared<RecordingRequest>();
  ApplyHeaderBlock(vyrelo::platform::ComObject(fake), NormalizeHeaderBlock(block));
  EXPECT_EQ(fake->calls, std::vector<std::string>{"SetRequestHeader(A|1)"});
}

}  // namespace
