// Requests through a real proxy: tinyproxy on loopback, started and stopped
// by the fixture, asking for Basic authentication.
#include <gtest/gtest.h>

#include <cstdlib>

#include "loopback_fixtures.h"
#include "platform/automation.h"
#include "web/fetch_url.h"
#include "web/winhttp_request.h"

namespace {

using vyrelo::Bytes;
using vyrelo::Text;
using vyrelo::testing::LoopbackServer;
using vyrelo::testing::TempDir;
using vyrelo::testing::TinyproxyProcess;
using vyrelo::web::FetchOptions;
using vyrelo::web::FetchUrl;

Text AsText(const Bytes& bytes) { return Text(bytes.begin(), bytes.end()); }

// tinyproxy's Via header names the host and itself: "1.1 host (tinyproxy/x)".
bool ViaTinyproxy(const Text& echo) {
  return echo.rfind("via=1.1 ", 0) == 0 && echo.find("tinyproxy/") != std::string::npos;
}

// Sets an environment variable for the scope of a test, then removes it (the
// test program starts with every proxy variable cleared).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { ::unsetenv(name_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
};

// The target answers with what tells whether the request came through the
// proxy (tinyproxy adds a Via header) and which credentials reached it.
void ServeEcho(LoopbackServer& server) {
  server.Http().Get("/", [](const httplib::Request& req, httplib::Response& res) {
    res.set_content("via=" + req.get_header_value("Via") +
                        " proxy-auth=" + req.get_header_value("Proxy-Authorization"),
                    "text/plain");
  });
}

class ThroughProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.Valid());
    std::string why;
    ASSERT_TRUE(proxy.Start(dir, "user", "pass", why)) << why;
    ServeEcho(target);
    ASSERT_TRUE(target.Start());
  }
  void TearDown() override {
    proxy.Stop();
    target.Stop();
  }

  TempDir dir;
  TinyproxyProcess proxy;
  LoopbackServer target;
};

// tinyproxy answers a request without credentials with 407, and one with
// wrong credentials with 401 and a WWW-Authenticate challenge (its own
// choice); either way the proxy's answer is the response the caller gets.
TEST_F(ThroughProxy, RightCredentialsPassWrongOnesGetTheProxysRefusal) {
  struct Case {
    const char* name;
    Text user;
    Text password;
    int credentialTarget;
    int status;
  };
  const Case cases[] = {
      {"right", "user", "pass", 1, 200},
      {"wrong_password", "user", "wrong", 1, 401},
      {"no_user", "", "", 1, 407},
      {"credentials_for_the_server_only", "user", "pass", 0, 407},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int status = 0;
    Text headers;
    FetchOptions options;
    options.proxy = proxy.Address();
    options.proxyUser = c.user;
    options.proxyPassword = c.password;
    options.credentialTarget = c.credentialTarget;
    options.status = &status;
    options.responseHeaders = &headers;
    const Text body = AsText(FetchUrl(target.Url("/"), options));
    EXPECT_EQ(status, c.status) << vyrelo::platform::GetAutomationErrorDetail();
    if (c.status == 200) {
      EXPECT_TRUE(ViaTinyproxy(body)) << body;
      // The proxy's credentials stop at the proxy.
      EXPECT_NE(body.find("proxy-auth="), std::string::npos);
      EXPECT_EQ(body.substr(body.find("proxy-auth=")), "proxy-auth=") << body;
    } else {
      // The proxy's own answer is what comes back.
      EXPECT_NE(headers.find("Server: tinyproxy"), std::string::npos) << headers;
      EXPECT_FALSE(body.empty());
    }
  }
}

TEST_F(ThroughProxy, HttpsTunnelCarriesTheProxyCredentialsOnlyToTheProxy) {
  vyrelo::testing::CertificateMaker maker(dir);
  vyrelo::testing::CertificateFiles files;
  ASSERT_TRUE(maker.SelfSigned("tunnel", "IP:127.0.0.1", files)) << maker.Log();
  LoopbackServer tlsTarget(files.cert, files.key);
  ASSERT_TRUE(tlsTarget.Valid());
  ServeEcho(tlsTarget);
  ASSERT_TRUE(tlsTarget.Start());

  int status = 0;
  FetchOptions options;
  options.proxy = proxy.Address();
  options.proxyUser = "user";
  options.proxyPassword = "pass";
  options.status = &status;
  const Text body = AsText(FetchUrl(tlsTarget.Url("/"), options));
  EXPECT_EQ(status, 200) << vyrelo::platform::GetAutomationErrorDetail();
  // Inside the tunnel the request is the client's own: no Via, no
  // credentials of the proxy.
  EXPECT_EQ(body, "via= proxy-auth=");

  options.proxyPassword = "wrong";
  EXPECT_TRUE(FetchUrl(tlsTarget.Url("/"), options).empty());
  EXPECT_EQ(status, 0);
  EXPECT_NE(vyrelo::platform::GetAutomationErrorDetail().find("CONNECT tunnel failed"),
            std::string::npos)
      << vyrelo::platform::GetAutomationErrorDetail();
}

// Without a named proxy the object follows the environment's proxy settings.
class EnvironmentProxy : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.Valid());
    std::string why;
    ASSERT_TRUE(proxy.Start(dir, "", "", why)) << why;
    ServeEcho(target);
    ASSERT_TRUE(target.Start());
  }

  TempDir dir;
  TinyproxyProcess proxy;
  LoopbackServer target;
};

TEST_F(EnvironmentProxy, HttpProxyVariableIsFollowedAndNoProxyRespected) {
  ScopedEnv httpProxy("http_proxy", "http://" + proxy.Address());
  EXPECT_TRUE(ViaTinyproxy(AsText(FetchUrl(target.Url("/")))));
  {
    ScopedEnv noProxy("no_proxy", "127.0.0.1");
    EXPECT_EQ(AsText(FetchUrl(target.Url("/"))), "via= proxy-auth=");
    // A named proxy is used for every host, whatever no_proxy says.
    FetchOptions options;
    options.proxy = proxy.Address();
    EXPECT_TRUE(ViaTinyproxy(AsText(FetchUrl(target.Url("/"), options))));
  }
  // SetProxy 1 goes direct.
  vyrelo::platform::ComObject request;
  ASSERT_TRUE(vyrelo::platform::CreateObject(request, vyrelo::web::kWinHttpRequestProgId));
  vyrelo::platform::CallMethod(request, "SetProxy", {std::int32_t{1}});
  FetchOptions options;
  options.requestObject = &request;
  EXPECT_EQ(AsText(FetchUrl(target.Url("/"), options)), "via= proxy-auth=");
}

}  // namespace
