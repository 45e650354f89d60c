// The request object on its own: its members' refusals, the exact request it
// puts on the wire, server credentials, and certificate checking.
#include <gtest/gtest.h>

#include "loopback_fixtures.h"
#include "platform/automation.h"
#include "web/fetch_url.h"
#include "web/winhttp_request.h"

namespace {

using vyrelo::Bytes;
using vyrelo::Text;
using vyrelo::platform::CallMethod;
using vyrelo::platform::ComObject;
using vyrelo::platform::CreateObject;
using vyrelo::platform::GetAutomationError;
using vyrelo::platform::GetAutomationErrorDetail;
using vyrelo::platform::GetNumberProperty;
using vyrelo::platform::GetTextProperty;
using vyrelo::platform::SetProperty;
using vyrelo::platform::Variant;
using vyrelo::testing::RawCaptureServer;
using vyrelo::web::kWinHttpRequestClsid;
using vyrelo::web::kWinHttpRequestProgId;

ComObject NewRequest() {
  ComObject request;
  EXPECT_TRUE(CreateObject(request, kWinHttpRequestProgId));
  return request;
}

bool LastCallOk() { return GetAutomationError({}).empty(); }

TEST(WinHttpRequestRegistry, ProgIdAndClsidBothCreate) {
  vyrelo::web::RegisterWebObjects();  // again: nothing changes
  ComObject byName;
  ComObject byClsid;
  EXPECT_TRUE(CreateObject(byName, "winhttp.winhttprequest.5.1"));
  EXPECT_TRUE(CreateObject(byClsid, kWinHttpRequestClsid));
  EXPECT_FALSE(byName.Empty());
  EXPECT_FALSE(byClsid.Empty());
  EXPECT_FALSE(byName == byClsid);
}

TEST(WinHttpRequestMembers, RefusedCallsFailWithTheException) {
  struct Case {
    const char* name;
    std::function<void(const ComObject&)> call;
    const char* detail;
  };
  const std::vector<Case> cases = {
      {"asynchronous_open",
       [](const ComObject& r) {
         CallMethod(r, "Open", {"GET", "http://127.0.0.1/", true});
       },
       "asynchronous"},
      {"verb_with_space",
       [](const ComObject& r) {
         CallMethod(r, "Open", {"GE T", "http://127.0.0.1/", false});
       },
       "method"},
      {"verb_with_line_break",
       [](const ComObject& r) {
         CallMethod(r, "Open", {"GET / HTTP/1.1\r\nX:", "http://127.0.0.1/", false});
       },
       "method"},
      {"url_with_line_break",
       [](const ComObject& r) {
         CallMethod(r, "Open", {"GET", "http://127.0.0.1/\r\nX: 1", false});
       },
       "control"},
      {"send_before_open", [](const ComObject& r) { CallMethod(r, "Send"); }, "Open"},
      {"status_before_send", [](const ComObject& r) { GetNumberProperty(r, "Status"); },
       "no response"},
      {"proxy_without_server",
       [](const ComObject& r) {
         CallMethod(r, "SetProxy", {std::int32_t{2}, ""});
       },
       "proxy"},
      {"unknown_proxy_setting",
       [](const ComObject& r) { CallMethod(r, "SetProxy", {std::int32_t{7}}); }, "SetProxy"},
      {"unknown_credential_target",
       [](const ComObject& r) {
         CallMethod(r, "SetCredentials", {"u", "p", std::int32_t{3}});
       },
       "SetCredentials"},
      {"empty_header_name",
       [](const ComObject& r) {
         CallMethod(r, "SetRequestHeader", {"", ""});
       },
       "header name"},
      {"header_name_with_colon",
       [](const ComObject& r) {
         CallMethod(r, "SetRequestHeader", {"X-A: 1\r\nX-B", "v"});
       },
       "header name"},
      {"header_value_with_cr_lf",
       [](const ComObject& r) {
         CallMethod(r, "SetRequestHeader", {"X-A", "1\r\nX-B: 2"});
       },
       "line break"},
      {"header_value_with_lf",
       [](const ComObject& r) {
         CallMethod(r, "SetRequestHeader", {"X-A", "1\nX-B: 2"});
       },
       "line break"},
      {"header_value_with_nul",
       [](const ComObject& r) {
         CallMethod(r, "SetRequestHeader", {"X-A", Text("1\0X", 3)});
       },
       "zero byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ComObject request = NewRequest();
    c.call(request);
    EXPECT_EQ(GetAutomationError({}), "发现异常");
    EXPECT_NE(GetAutomationErrorDetail().find(c.detail), std::string::npos)
        << GetAutomationErrorDetail();
  }
}

TEST(WinHttpRequestMembers, OptionsReadBackWhatWasSet) {
  const ComObject request = NewRequest();
  EXPECT_TRUE(vyrelo::platform::GetVariantProperty(request, "Option").IsEmpty());  // needs an index
  Variant redirects = vyrelo::platform::CallVariantMethod(request, "Option", {std::int32_t{6}});
  ASSERT_EQ(redirects.Type(), vyrelo::platform::VariantType::Bool);
  EXPECT_TRUE(redirects.BoolValue());
  EXPECT_TRUE(SetProperty(request, "Option", {std::int32_t{6}, std::int32_t{0}}));
  EXPECT_TRUE(SetProperty(request, "Option", {std::int32_t{4}, std::int32_t{0x3300}}));
  EXPECT_FALSE(
      vyrelo::platform::CallVariantMethod(request, "Option", {std::int32_t{6}}).BoolValue());
  EXPECT_EQ(vyrelo::platform::CallNumberMethod(request, "Option", {std::int32_t{4}}), 0x3300);
  EXPECT_FALSE(SetProperty(request, "Option", {std::int32_t{99}, std::int32_t{1}}));
}

// The whole request head as it reached the server.
TEST(WinHttpRequestWire, SendsTheCallersHeadersInOrderAndNothingElse) {
  RawCaptureServer server;
  ASSERT_GT(server.Port(), 0);
  const ComObject request = NewRequest();
  CallMethod(request, "Open", {"POST", server.Url("/form?x=1"), false});
  ASSERT_TRUE(LastCallOk());
  CallMethod(request, "SetRequestHeader", {"X-Second", "b"});
  CallMethod(request, "SetRequestHeader", {"X-First", "a"});
  CallMethod(request, "SetRequestHeader", {"x-second", "replaced"});  // same name: replaced
  CallMethod(request, "SetRequestHeader", {"X-Evil", "1\r\nX-Smuggled: 1"});
  EXPECT_FALSE(LastCallOk());
  CallMethod(request, "SetRequestHeader", {"X-Empty", ""});
  CallMethod(request, "SetRequestHeader", {"Content-Length", "999"});  // derived from the body
  CallMethod(request, "Send", {Text("k=v")});
  ASSERT_TRUE(LastCallOk()) << GetAutomationErrorDetail();
  EXPECT_EQ(GetNumberProperty(request, "Status"), 200);
  EXPECT_EQ(server.Head(),
            "POST /form?x=1 HTTP/1.1\r\n"
            "Host: 127.0.0.1:" +
                std::to_string(server.Port()) +
                "\r\n"
                "x-second: replaced\r\n"
                "X-First: a\r\n"
                "X-Empty:\r\n"
                "Content-Length: 3\r\n"
                "\r\n");
  EXPECT_EQ(server.Body(), "k=v");
}

TEST(WinHttpRequestWire, BodiesGoOutAsTheirBytes) {
  RawCaptureServer server;
  ASSERT_GT(server.Port(), 0);
  struct Case {
    const char* name;
    Variant body;
    std::string wire;
  };
  const std::vector<Case> cases = {
      {"system_text_unchanged", Variant(Text("\xD6\xD0\xCE\xC4")), "\xD6\xD0\xCE\xC4"},
      {"utf8_bytes_in_a_text_unchanged", Variant(Text("\xE4\xB8\xAD")), "\xE4\xB8\xAD"},
      {"unicode_text_as_utf8", Variant::FromUnicode(u"\u4E2D"), "\xE4\xB8\xAD"},
      {"byte_array", Variant::FromBytes({0, 1, 0xFF}), std::string("\0\1\xFF", 3)},
      {"number_as_text", Variant(std::int32_t{42}), "42"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ComObject request = NewRequest();
    CallMethod(request, "Open", {"PUT", server.Url(), false});
    CallMethod(request, "Send", {c.body});
    ASSERT_TRUE(LastCallOk()) << GetAutomationErrorDetail();
    EXPECT_EQ(server.Body(), c.wire);
    EXPECT_NE(server.Head().find("PUT / HTTP/1.1\r\n"), std::string::npos);
    EXPECT_NE(server.Head().find("Content-Length: " + std::to_string(c.wire.size())),
              std::string::npos);
  }
  // An empty PUT still says it carries nothing.
  const ComObject request = NewRequest();
  CallMethod(request, "Open", {"PUT", server.Url(), false});
  CallMethod(request, "Send");
  EXPECT_NE(server.Head().find("Content-Length: 0\r\n"), std::string::npos) << server.Head();
}

TEST(WinHttpRequestWire, NonAsciiUrlIsSentAsPercentEncodedUtf8) {
  RawCaptureServer server;
  ASSERT_GT(server.Port(), 0);
  const ComObject request = NewRequest();
  CallMethod(request, "Open", {"GET", server.Url("/\xD6\xD0 x?q=\xCE\xC4"), false});
  CallMethod(request, "Send");
  ASSERT_TRUE(LastCallOk()) << GetAutomationErrorDetail();
  EXPECT_EQ(server.Head().substr(0, server.Head().find("\r\n")),
            "GET /%E4%B8%AD%20x?q=%E6%96%87 HTTP/1.1");
}

TEST(WinHttpRequestWire, InterimResponseHeadersAreDropped) {
  RawCaptureServer server(
      "HTTP/1.1 100 Continue\r\nX-Interim: 1\r\n\r\n"
      "HTTP/1.1 201 Created\r\nX-Final: 2\r\nContent-Length: 4\r\nConnection: close\r\n\r\n"
      "done");
  ASSERT_GT(server.Port(), 0);
  const ComObject request = NewRequest();
  CallMethod(request, "Open", {"POST", server.Url(), false});
  CallMethod(request, "Send", {Text("x")});
  ASSERT_TRUE(LastCallOk()) << GetAutomationErrorDetail();
  EXPECT_EQ(GetNumberProperty(request, "Status"), 201);
  EXPECT_EQ(GetTextProperty(request, "GetAllResponseHeaders"),
            "X-Final: 2\r\nContent-Length: 4\r\nConnection: close");
}

TEST(WinHttpRequestTimeouts, SendingIntoAServerThatNeverReadsEnds) {
  RawCaptureServer server("", RawCaptureServer::Mode::Silent);
  ASSERT_GT(server.Port(), 0);
  const ComObject request = NewRequest();
  CallMethod(request, "SetTimeouts",
             {std::int32_t{5000}, std::int32_t{5000}, std::int32_t{1000}, std::int32_t{60000}});
  CallMethod(request, "Open", {"POST", server.Url(), false});
  // More than loopback's socket buffers take in.
  Variant body = Variant::FromBytes(Bytes(64u << 20, 'b'));
  const auto start = std::chrono::steady_clock::now();
  CallMethod(request, "Send", {body});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(GetAutomationError({}), "发现异常");
  EXPECT_NE(GetAutomationErrorDetail().find("sending made no progress for 1000 ms"),
            std::string::npos)
      << GetAutomationErrorDetail();
  // Well inside the 60 s receive time-out; the margin is for moving 64 MiB
  // into the socket in a sanitizer build on a busy machine.
  EXPECT_LT(took, std::chrono::seconds(8));
}

TEST(WinHttpRequestTimeouts, SilentServerEndsWithinTheReceiveTimeout) {
  RawCaptureServer server("", RawCaptureServer::Mode::Silent);
  ASSERT_GT(server.Port(), 0);
  const ComObject request = NewRequest();
  CallMethod(request, "SetTimeouts",
             {std::int32_t{5000}, std::int32_t{5000}, std::int32_t{5000}, std::int32_t{500}});
  CallMethod(request, "Open", {"GET", server.Url(), false});
  const auto start = std::chrono::steady_clock::now();
  CallMethod(request, "Send");
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_NE(GetAutomationErrorDetail().find("receiving made no progress for 500 ms"),
            std::string::npos)
      << GetAutomationErrorDetail();
  EXPECT_GE(took, std::chrono::milliseconds(450));
  EXPECT_LT(took, std::chrono::milliseconds(1500));
}

TEST(WinHttpRequestCredentials, ServerCredentialsAnswerTheChallenge) {
  vyrelo::testing::LoopbackServer server;
  server.Http().Get("/private", [](const httplib::Request& req, httplib::Response& res) {
    if (req.get_header_value("Authorization") != "Basic dTpw") {
      res.status = 401;
      res.set_header("WWW-Authenticate", "Basic realm=\"test\"");
      return;
    }
    res.set_content("secret", "text/plain");
  });
  ASSERT_TRUE(server.Start());
  int status = 0;
  vyrelo::web::FetchOptions options;
  options.status = &status;
  vyrelo::web::FetchUrl(server.Url("/private"), options);
  EXPECT_EQ(status, 401);

  const ComObject request = NewRequest();
  CallMethod(request, "Open", {"GET", server.Url("/private"), false});
  CallMethod(request, "SetCredentials", {"u", "p", std::int32_t{0}});
  CallMethod(request, "Send");
  EXPECT_EQ(GetNumberProperty(request, "Status"), 200);
  const Bytes body = vyrelo::platform::VariantToBytes(
      vyrelo::platform::GetVariantProperty(request, "ResponseBody"));
  EXPECT_EQ(Text(body.begin(), body.end()), "secret");
}

// Certificates made at test time; the server answers on 127.0.0.1.
class CertificateChecks : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new vyrelo::testing::TempDir();
    ASSERT_TRUE(dir_->Valid());
    vyrelo::testing::CertificateMaker maker(*dir_);
    ASSERT_TRUE(maker.SelfSigned("self", "IP:127.0.0.1", self_)) << maker.Log();
    ASSERT_TRUE(maker.SelfSigned("wrong-name", "DNS:other.example", wrongName_)) << maker.Log();
    ASSERT_TRUE(maker.Expired("expired", "IP:127.0.0.1", expired_)) << maker.Log();
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }

  // Starts a TLS server with the certificate and runs one GET with the given
  // ignore flags; the result and why it failed.
  struct Outcome {
    bool ok;
    int status;
    std::string detail;
  };
  static Outcome Get(const vyrelo::testing::CertificateFiles& files, std::int32_t ignore) {
    vyrelo::testing::LoopbackServer server(files.cert, files.key);
    EXPECT_TRUE(server.Valid());
    server.Http().Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("tls", "text/plain");
    });
    EXPECT_TRUE(server.Start());
    const ComObject request = NewRequest();
    CallMethod(request, "Open", {"GET", server.Url("/"), false});
    SetProperty(request, "Option", {std::int32_t{4}, ignore});
    CallMethod(request, "Send");
    const bool ok = LastCallOk();
    const std::string detail = GetAutomationErrorDetail();
    const int status = static_cast<int>(GetNumberProperty(request, "Status"));
    return {ok, status, detail};
  }

  static vyrelo::testing::TempDir* dir_;
  static vyrelo::testing::CertificateFiles self_;
  static vyrelo::testing::CertificateFiles wrongName_;
  static vyrelo::testing::CertificateFiles expired_;
};

vyrelo::testing::TempDir* CertificateChecks::dir_ = nullptr;
vyrelo::testing::CertificateFiles CertificateChecks::self_;
vyrelo::testing::CertificateFiles CertificateChecks::wrongName_;
vyrelo::testing::CertificateFiles CertificateChecks::expired_;

TEST_F(CertificateChecks, FetchUrlAcceptsTheFourIgnoredErrors) {
  for (const auto* files : {&self_, &wrongName_, &expired_}) {
    SCOPED_TRACE(files->cert);
    vyrelo::testing::LoopbackServer server(files->cert, files->key);
    ASSERT_TRUE(server.Valid());
    server.Http().Get("/", [](const httplib::Request&, httplib::Response& res) {
      res.set_content("tls", "text/plain");
    });
    ASSERT_TRUE(server.Start());
    int status = 0;
    vyrelo::web::FetchOptions options;
    options.status = &status;
    const Bytes body = vyrelo::web::FetchUrl(server.Url("/"), options);
    EXPECT_EQ(status, 200) << GetAutomationErrorDetail();
    EXPECT_EQ(Text(body.begin(), body.end()), "tls");
  }
}

TEST_F(CertificateChecks, OnlyTheNamedErrorsAreIgnored) {
  struct Case {
    const char* name;
    const vyrelo::testing::CertificateFiles* files;
    std::int32_t ignore;
    bool accepted;
  };
  const Case cases[] = {
      {"self_signed_verified", &self_, 0, false},
      {"self_signed_ignored", &self_, 0x0100, true},
      {"self_signed_name_flag_is_not_enough", &self_, 0x1000, false},
      {"wrong_name_unknown_ca_is_not_enough", &wrongName_, 0x0100, false},
      {"wrong_name_both_ignored", &wrongName_, 0x1100, true},
      {"expired_unknown_ca_is_not_enough", &expired_, 0x0100, false},
      {"expired_both_ignored", &expired_, 0x2100, true},
      {"expired_all_four", &expired_, 0x3300, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Outcome outcome = Get(*c.files, c.ignore);
    EXPECT_EQ(outcome.ok, c.accepted) << outcome.detail;
    EXPECT_EQ(outcome.status, c.accepted ? 200 : 0);
    if (!c.accepted) {
      EXPECT_FALSE(outcome.detail.empty());
    }
  }
}

}  // namespace
