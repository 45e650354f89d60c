// What FetchUrl asks of the request object: which members, with which
// arguments, in which order, and which calls never happen. The request object
// here is a recorder, put in place of the real one under its ProgID.
#include <gtest/gtest.h>

#include <memory>

#include "recording_request.h"
#include "web/base64.h"
#include "web/fetch_url.h"
#include "web/winhttp_request.h"

namespace {

using vyrelo::Bytes;
using vyrelo::Text;
using vyrelo::platform::ComObject;
using vyrelo::platform::ScopedObjectOverride;
using vyrelo::testing::RecordingRequest;
using vyrelo::web::FetchOptions;
using vyrelo::web::FetchUrl;
using vyrelo::web::kWinHttpRequestProgId;

const Text kUrl = "http://example.test/path?q=1";
const Text kUserAgentLine =
    "SetRequestHeader(User-Agent|Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1))";

class FetchUrlCalls : public ::testing::Test {
 protected:
  std::shared_ptr<RecordingRequest> fake = std::make_shared<RecordingRequest>();
  ScopedObjectOverride use{kWinHttpRequestProgId, [this] { return fake; }};
};

TEST_F(FetchUrlCalls, PlainGetRunsTheStepsInOrder) {
  fake->responseBody = {'o', 'k'};
  const Bytes body = FetchUrl(kUrl);
  EXPECT_EQ(body, (Bytes{'o', 'k'}));
  const std::vector<std::string> expected = {
      "SetTimeouts(15000|15000|15000|15000)",
      "Open(GET|" + kUrl + "|false)",
      "Option[4]=13056",
      "SetRequestHeader(Accept|*/*)",
      "SetRequestHeader(Referer|" + kUrl + ")",
      "SetRequestHeader(Accept-Language|zh-cn)",
      kUserAgentLine,
      "Send()",
      "ResponseBody",
      "GetAllResponseHeaders",
      "Status",
  };
  EXPECT_EQ(fake->calls, expected);
}

TEST_F(FetchUrlCalls, EveryMethodIndexSendsItsVerb) {
  struct Case {
    const char* name;
    int method;
    const char* verb;
    bool contentType;
  };
  const Case cases[] = {
      {"get", 0, "GET", false},
      {"post", 1, "POST", true},
      {"head", 2, "HEAD", false},
      {"put_has_no_default_type", 3, "PUT", false},
      {"options", 4, "OPTIONS", false},
      {"delete", 5, "DELETE", false},
      {"trace", 6, "TRACE", false},
      {"connect", 7, "CONNECT", false},
      {"above_range_is_get", 8, "GET", false},
      {"below_range_is_get", -1, "GET", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake->calls.clear();
    FetchOptions options;
    options.method = c.method;
    FetchUrl(kUrl, options);
    EXPECT_EQ(fake->CallsTo("Open"),
              std::vector<std::string>{"Open(" + Text(c.verb) + "|" + kUrl + "|false)"});
    const auto headers = fake->CallsTo("SetRequestHeader");
    const bool hasType =
        std::find(headers.begin(), headers.end(),
                  "SetRequestHeader(Content-Type|application/x-www-form-urlencoded)") !=
        headers.end();
    EXPECT_EQ(hasType, c.contentType);
  }
}

TEST_F(FetchUrlCalls, TimeoutSecondsBecomeMilliseconds) {
  struct Case {
    const char* name;
    int timeout;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"minus_one_keeps_the_objects_own", -1, {}},
      {"zero_is_the_default", 0, {"SetTimeouts(15000|15000|15000|15000)"}},
      {"negative_is_the_default", -5, {"SetTimeouts(15000|15000|15000|15000)"}},
      {"thirty_seconds", 30, {"SetTimeouts(30000|30000|30000|30000)"}},
      {"too_large_saturates",
       3000000,
       {"SetTimeouts(2147483647|2147483647|2147483647|2147483647)"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake->calls.clear();
    FetchOptions options;
    options.timeout = c.timeout;
    FetchUrl(kUrl, options);
    EXPECT_EQ(fake->CallsTo("SetTimeouts"), c.expected);
  }
}

TEST_F(FetchUrlCalls, ProxyAndCredentialRules) {
  const Text authorization = "Basic " + vyrelo::web::Base64Encode(vyrelo::BytesFromText("u:p"));
  ASSERT_EQ(authorization, "Basic dTpw");
  struct Case {
    const char* name;
    Text proxy;
    Text user;
    int target;
    std::vector<std::string> proxyCalls;
    std::vector<std::string> credentialCalls;
    bool proxyAuthorization;
  };
  const std::vector<Case> cases = {
      {"no_proxy_ignores_the_user", "", "u", 1, {}, {}, false},
      {"proxy_without_user", "127.0.0.1:3128", "", 1, {"SetProxy(2|127.0.0.1:3128)"}, {}, false},
      {"proxy_target",
       "127.0.0.1:3128",
       "u",
       1,
       {"SetProxy(2|127.0.0.1:3128)"},
       {"SetCredentials(u|p|1)"},
       true},
      {"server_target",
       "127.0.0.1:3128",
       "u",
       0,
       {"SetProxy(2|127.0.0.1:3128)"},
       {"SetCredentials(u|p|0)"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake->calls.clear();
    FetchOptions options;
    options.proxy = c.proxy;
    options.proxyUser = c.user;
    options.proxyPassword = "p";
    options.credentialTarget = c.target;
    FetchUrl(kUrl, options);
    EXPECT_EQ(fake->CallsTo("SetProxy"), c.proxyCalls);
    EXPECT_EQ(fake->CallsTo("SetCredentials"), c.credentialCalls);
    const auto authorizations = fake->CallsTo("SetRequestHeader(Proxy-Authorization");
    EXPECT_EQ(authorizations.size(), c.proxyAuthorization ? 1u : 0u);
    if (c.proxyAuthorization) {
      EXPECT_EQ(authorizations[0], "SetRequestHeader(Proxy-Authorization|" + authorization + ")");
    }
  }
}

TEST_F(FetchUrlCalls, ProxyAuthorizationEncodesTheSystemTextBytes) {
  FetchOptions options;
  options.proxy = "127.0.0.1:3128";
  options.proxyUser = "\xD3\xC3\xBB\xA7";  // 用户 in the system charset
  options.proxyPassword = "pw";
  FetchUrl(kUrl, options);
  const Bytes pair = {0xD3, 0xC3, 0xBB, 0xA7, ':', 'p', 'w'};
  EXPECT_EQ(fake->CallsTo("SetRequestHeader(Proxy-Authorization"),
            std::vector<std::string>{"SetRequestHeader(Proxy-Authorization|Basic " +
                                     vyrelo::web::Base64Encode(pair) + ")"});
}

TEST_F(FetchUrlCalls, HeadersReachTheObjectInTheirOrder) {
  Text cookies = "Cookie: a=1";
  FetchOptions options;
  options.method = 1;
  options.proxy = "127.0.0.1:3128";
  options.proxyUser = "u";
  options.proxyPassword = "p";
  options.cookies = &cookies;
  options.headers = "x-first: 1\r\nreferer: http://r.test/";
  FetchUrl(kUrl, options);
  const std::vector<std::string> expected = {
      "SetRequestHeader(Proxy-Authorization|Basic dTpw)",
      "SetRequestHeader(Cookie| a=1)",
      "SetRequestHeader(X-First|1)",
      "SetRequestHeader(Referer|http://r.test/)",
      "SetRequestHeader(Accept|*/*)",
      "SetRequestHeader(Accept-Language|zh-cn)",
      kUserAgentLine,
      "SetRequestHeader(Content-Type|application/x-www-form-urlencoded)",
  };
  EXPECT_EQ(fake->CallsTo("SetRequestHeader"), expected);
  // Credentials come after Open and the options, before the headers.
  const auto& calls = fake->calls;
  const auto credentials = std::find(calls.begin(), calls.end(), "SetCredentials(u|p|1)");
  const auto open = std::find_if(calls.begin(), calls.end(),
                                 [](const std::string& s) { return s.rfind("Open(", 0) == 0; });
  ASSERT_NE(credentials, calls.end());
  EXPECT_LT(open, credentials);
  EXPECT_EQ(*(credentials + 1), expected[0]);
}

TEST_F(FetchUrlCalls, CookieHeaderRules) {
  struct Case {
    const char* name;
    std::optional<Text> cookies;
    std::vector<std::string> expected;
    Text cleaned;
  };
  const std::vector<Case> cases = {
      {"not_given_sends_none", std::nullopt, {}, ""},
      {"given_empty_sends_an_empty_header", Text(), {"SetRequestHeader(Cookie|)"}, ""},
      {"plain", Text("a=1; b=2"), {"SetRequestHeader(Cookie|a=1; b=2)"}, "a=1; b=2"},
      {"prefix_removed_untrimmed", Text("Cookie: a=1"), {"SetRequestHeader(Cookie| a=1)"}, " a=1"},
      {"prefix_any_case", Text("COOKIE: a=1"), {"SetRequestHeader(Cookie| a=1)"}, " a=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake->calls.clear();
    Text cookies = c.cookies.value_or("");
    FetchOptions options;
    options.mergeCookies = false;
    if (c.cookies) options.cookies = &cookies;
    FetchUrl(kUrl, options);
    EXPECT_EQ(fake->CallsTo("SetRequestHeader(Cookie"), c.expected);
    if (c.cookies) {
      EXPECT_EQ(cookies, c.cleaned);
    }
  }
}

TEST_F(FetchUrlCalls, BodyBytesWinOverTheText) {
  FetchOptions options;
  options.method = 1;
  options.body = "text";
  options.bodyBytes = {'b', 0, 'y'};
  FetchUrl(kUrl, options);
  EXPECT_EQ(fake->CallsTo("Send"), std::vector<std::string>{std::string("Send(bytes:b\0y)", 15)});

  fake->calls.clear();
  options.bodyBytes.clear();
  FetchUrl(kUrl, options);
  EXPECT_EQ(fake->CallsTo("Send"), std::vector<std::string>{"Send(text)"});
}

TEST_F(FetchUrlCalls, RedirectSwitchAndCertificateOption) {
  FetchOptions options;
  options.noRedirect = true;
  FetchUrl(kUrl, options);
  EXPECT_EQ(fake->CallsTo("Option"), (std::vector<std::string>{"Option[6]=0", "Option[4]=13056"}));
}

TEST_F(FetchUrlCalls, OutputsAndCookieMerge) {
  fake->responseHeaders =
      "Content-Type: text/plain\r\nSet-Cookie: b=3; path=/\r\nSet-Cookie: c=4\r\nset-cookie: z=9";
  fake->responseStatus = 404;
  Text cookies = "a=1; b=2";
  Text cookiesOut = "old";
  Text headers = "old";
  int status = -1;
  FetchOptions options;
  options.cookies = &cookies;
  options.cookiesOut = &cookiesOut;
  options.responseHeaders = &headers;
  options.status = &status;
  FetchUrl(kUrl, options);
  EXPECT_EQ(status, 404);
  EXPECT_EQ(headers, fake->responseHeaders);
  EXPECT_EQ(cookiesOut, "b=3; c=4; a=1");
  EXPECT_EQ(cookies, "b=3; c=4; a=1");

  // Without merging the caller's text stays as sent and only the response's
  // cookies come out.
  cookies = "a=1; b=2";
  options.mergeCookies = false;
  FetchUrl(kUrl, options);
  EXPECT_EQ(cookiesOut, "b=3; c=4");
  EXPECT_EQ(cookies, "a=1; b=2");

  // Without cookies given there is no merge either.
  options.mergeCookies = true;
  options.cookies = nullptr;
  FetchUrl(kUrl, options);
  EXPECT_EQ(cookiesOut, "b=3; c=4");
}

TEST_F(FetchUrlCalls, FailedCreationTouchesNothing) {
  ScopedObjectOverride refuse{kWinHttpRequestProgId, nullptr};
  Text cookies = " a=1;";
  Text cookiesOut = "keep out";
  Text headers = "keep headers";
  int status = 77;
  FetchOptions options;
  options.cookies = &cookies;
  options.cookiesOut = &cookiesOut;
  options.responseHeaders = &headers;
  options.status = &status;
  const int depth = vyrelo::platform::ComInitCount();
  EXPECT_TRUE(FetchUrl(kUrl, options).empty());
  EXPECT_EQ(cookies, " a=1;");
  EXPECT_EQ(cookiesOut, "keep out");
  EXPECT_EQ(headers, "keep headers");
  EXPECT_EQ(status, 77);
  EXPECT_EQ(vyrelo::platform::ComInitCount(), depth);
  EXPECT_TRUE(fake->calls.empty());
}

TEST_F(FetchUrlCalls, FailedSendStillRunsToTheEnd) {
  fake->failSend = true;
  fake->responseStatus = 0;
  int status = -1;
  FetchOptions options;
  options.status = &status;
  EXPECT_TRUE(FetchUrl(kUrl, options).empty());
  EXPECT_EQ(fake->calls.back(), "Status");
  EXPECT_EQ(status, 0);
}

TEST_F(FetchUrlCalls, RequestObjectIsReusedAndStaysAlive) {
  ScopedObjectOverride refuse{kWinHttpRequestProgId, nullptr};  // nothing may be created
  auto own = std::make_shared<RecordingRequest>();
  own->responseBody = {'x'};
  ComObject caller(own);
  const long before = caller.UseCount();
  FetchOptions options;
  options.requestObject = &caller;
  EXPECT_EQ(FetchUrl(kUrl, options), Bytes{'x'});
  EXPECT_FALSE(caller.Empty());
  EXPECT_EQ(caller.UseCount(), before);
  EXPECT_FALSE(own->CallsTo("Open").empty());
  EXPECT_TRUE(fake->calls.empty());

  // A given but empty object: every call fails, the result is empty.
  ComObject empty;
  options.requestObject = &empty;
  int status = 5;
  options.status = &status;
  EXPECT_TRUE(FetchUrl(kUrl, options).empty());
  EXPECT_EQ(status, 0);
}

TEST_F(FetchUrlCalls, CallerHeaderBlockIsNotChanged) {
  FetchOptions options;
  options.headers = "content-type: x\r\n";
  const Text before = options.headers;
  FetchUrl(kUrl, options);
  EXPECT_EQ(options.headers, before);
}

}  // namespace
