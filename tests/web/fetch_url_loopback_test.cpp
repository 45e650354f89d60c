// FetchUrl and the request object against real servers on loopback.
#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "loopback_fixtures.h"
#include "platform/automation.h"
#include "web/fetch_url.h"
#include "web/winhttp_request.h"

namespace {

using vyrelo::Bytes;
using vyrelo::Text;
using vyrelo::platform::ComObject;
using vyrelo::testing::Gate;
using vyrelo::testing::LoopbackServer;
using vyrelo::web::FetchOptions;
using vyrelo::web::FetchUrl;

Text AsText(const Bytes& bytes) { return Text(bytes.begin(), bytes.end()); }

// What the server saw of the last request.
struct Seen {
  std::mutex mutex;
  std::string method;
  std::string body;
  std::string target;
  httplib::Headers headers;
  int count = 0;

  void Record(const httplib::Request& req) {
    std::lock_guard lock(mutex);
    method = req.method;
    body = req.body;
    target = req.target;
    headers = req.headers;
    ++count;
  }
  bool Has(const std::string& name) {
    std::lock_guard lock(mutex);
    return headers.count(name) > 0;
  }
  std::string Header(const std::string& name) {
    std::lock_guard lock(mutex);
    auto it = headers.find(name);
    return it == headers.end() ? std::string("<none>") : it->second;
  }
};

bool BodyRead(const std::string& method) {
  return method == "POST" || method == "PUT" || method == "DELETE";
}

class FetchUrlLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& http = server.Http();
    // httplib reads a body only for POST, PUT and DELETE and routes neither
    // CONNECT nor TRACE; every request to /echo is seen here first, and the
    // methods whose body httplib leaves unread are answered at once.
    http.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
      if (req.path != "/echo") return httplib::Server::HandlerResponse::Unhandled;
      seen.Record(req);
      if (BodyRead(req.method)) return httplib::Server::HandlerResponse::Unhandled;
      res.set_header("X-Method", req.method);
      res.set_content(req.method + ":", "text/plain");
      return httplib::Server::HandlerResponse::Handled;
    });
    const auto echo = [this](const httplib::Request& req, httplib::Response& res) {
      seen.Record(req);
      res.set_header("X-Method", req.method);
      res.set_content(req.method + ":" + req.body, "text/plain");
    };
    http.Post("/echo", echo);
    http.Put("/echo", echo);
    http.Delete("/echo", echo);
    http.Get("/cookies", [](const httplib::Request& req, httplib::Response& res) {
      res.set_header("Set-Cookie", "a=1; path=/");
      res.set_header("Set-Cookie", "b=2");
      res.set_content("got:" + req.get_header_value("Cookie"), "text/plain");
    });
    http.Get("/cookies2", [](const httplib::Request& req, httplib::Response& res) {
      res.set_header("Set-Cookie", "b=3; HttpOnly");
      res.set_header("Set-Cookie", "a=deleted; path=/");
      res.set_content("got:" + req.get_header_value("Cookie"), "text/plain");
    });
    http.Get("/redirect", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "/target");
      res.set_header("X-Hop", "first");
      res.set_content("moved", "text/plain");
    });
    http.Get("/moved", [](const httplib::Request&, httplib::Response& res) {
      res.status = 301;
      res.set_header("Location", "/target");
      res.set_content("moved permanently", "text/plain");
    });
    http.Get("/target", [](const httplib::Request&, httplib::Response& res) {
      res.set_header("X-Hop", "final");
      res.set_content("arrived", "text/plain");
    });
    http.Get("/loop", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "/loop");
    });
    http.Get("/elsewhere", [](const httplib::Request&, httplib::Response& res) {
      res.status = 302;
      res.set_header("Location", "ftp://127.0.0.1/file");
    });
    http.Get("/status/418", [](const httplib::Request&, httplib::Response& res) {
      res.status = 418;
      res.set_header("X-Teapot", "yes");
      res.set_content("short and stout", "text/plain");
    });
    http.Get("/big", [](const httplib::Request&, httplib::Response& res) {
      res.set_content(std::string(64 * 1024, 'x'), "application/octet-stream");
    });
    http.Get("/big-chunked", [](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("application/octet-stream",
                                       [](size_t offset, httplib::DataSink& sink) {
                                         if (offset >= 64 * 1024) {
                                           sink.done();
                                           return true;
                                         }
                                         const std::string piece(4096, 'y');
                                         return sink.write(piece.data(), piece.size());
                                       });
    });
    // Accepts, then answers only when the test lets it.
    http.Get("/stall", [this](const httplib::Request&, httplib::Response& res) {
      release.Wait();
      res.set_content("late", "text/plain");
    });
    // Sends part of the body, then nothing until released.
    http.Get("/stall-body", [this](const httplib::Request&, httplib::Response& res) {
      res.set_chunked_content_provider("text/plain",
                                       [this](size_t offset, httplib::DataSink& sink) {
                                         if (offset == 0) return sink.write("first part", 10);
                                         release.Wait();
                                         sink.done();
                                         return true;
                                       });
    });
    ASSERT_TRUE(server.Start());
  }

  void TearDown() override {
    release.Open();
    server.Stop();
  }

  Gate release;
  Seen seen;
  LoopbackServer server;
};

TEST_F(FetchUrlLoopback, EveryVerbWithTextAndByteBodies) {
  struct Case {
    const char* name;
    int method;
    const char* verb;
  };
  const Case cases[] = {{"get", 0, "GET"},         {"post", 1, "POST"},     {"put", 3, "PUT"},
                        {"options", 4, "OPTIONS"}, {"delete", 5, "DELETE"}, {"trace", 6, "TRACE"},
                        {"connect", 7, "CONNECT"}};
  for (const Case& c : cases) {
    for (bool asBytes : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (asBytes ? " bytes" : " text"));
      const std::string payload = std::string("body of ") + c.verb + (asBytes ? " \x01\x02" : "");
      FetchOptions options;
      options.method = c.method;
      if (asBytes) {
        options.bodyBytes = vyrelo::BytesFromText(payload);
      } else {
        options.body = payload;
      }
      int status = 0;
      Text headers;
      options.status = &status;
      options.responseHeaders = &headers;
      const Bytes body = FetchUrl(server.Url("/echo"), options);
      EXPECT_EQ(status, 200);
      EXPECT_EQ(seen.method, c.verb);
      EXPECT_EQ(seen.Header("Content-Length"), std::to_string(payload.size()));
      if (BodyRead(c.verb)) {
        EXPECT_EQ(AsText(body), std::string(c.verb) + ":" + payload);
        EXPECT_EQ(seen.body, payload);
      } else {
        EXPECT_EQ(AsText(body), std::string(c.verb) + ":");
      }
      EXPECT_NE(headers.find("X-Method: " + std::string(c.verb)), std::string::npos) << headers;
    }
  }
}

TEST_F(FetchUrlLoopback, HeadReturnsHeadersWithoutWaitingForABody) {
  FetchOptions options;
  options.method = 2;
  int status = 0;
  Text headers;
  options.status = &status;
  options.responseHeaders = &headers;
  const auto start = std::chrono::steady_clock::now();
  const Bytes body = FetchUrl(server.Url("/echo"), options);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(status, 200);
  EXPECT_TRUE(body.empty());
  EXPECT_EQ(seen.method, "HEAD");
  EXPECT_NE(headers.find("Content-Length: "), std::string::npos);
}

TEST_F(FetchUrlLoopback, SendsExactlyTheHeadersAskedFor) {
  FetchOptions options;
  options.method = 1;
  options.body = "a=1";
  options.headers = "X-Custom: one\r\nContent-Type: text/x-mine";
  FetchUrl(server.Url("/echo"), options);
  EXPECT_EQ(seen.Header("X-Custom"), "one");
  EXPECT_EQ(seen.Header("Content-Type"), "text/x-mine");
  EXPECT_EQ(seen.Header("Accept"), "*/*");
  EXPECT_EQ(seen.Header("Accept-Language"), "zh-cn");
  EXPECT_EQ(seen.Header("Referer"), server.Url("/echo"));
  EXPECT_EQ(seen.Header("Content-Length"), "3");
  EXPECT_FALSE(seen.Has("Expect"));

  // Without defaults, a POST body gets no Content-Type, Accept or
  // User-Agent of libcurl's choosing.
  options.addDefaultHeaders = false;
  options.headers = "X-Only: 1";
  FetchUrl(server.Url("/echo"), options);
  EXPECT_EQ(seen.Header("X-Only"), "1");
  EXPECT_FALSE(seen.Has("Content-Type"));
  EXPECT_FALSE(seen.Has("Accept"));
  EXPECT_FALSE(seen.Has("User-Agent"));
  EXPECT_FALSE(seen.Has("Expect"));
  EXPECT_TRUE(seen.Has("Host"));
}

TEST_F(FetchUrlLoopback, LargeBodyIsSentWithoutExpectContinue) {
  FetchOptions options;
  options.method = 1;
  options.body = std::string(2 * 1024 * 1024, 'p');
  // httplib caps form bodies at 8 KiB.
  options.headers = "Content-Type: application/octet-stream";
  int status = 0;
  options.status = &status;
  const auto start = std::chrono::steady_clock::now();
  const Bytes body = FetchUrl(server.Url("/echo"), options);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(status, 200);
  EXPECT_EQ(body.size(), 5 + options.body.size());
  EXPECT_FALSE(seen.Has("Expect"));
}

TEST_F(FetchUrlLoopback, StatusAndHeadersOfAnErrorResponse) {
  int status = 0;
  Text headers;
  FetchOptions options;
  options.status = &status;
  options.responseHeaders = &headers;
  const Bytes body = FetchUrl(server.Url("/status/418"), options);
  EXPECT_EQ(status, 418);
  EXPECT_EQ(AsText(body), "short and stout");
  EXPECT_NE(headers.find("X-Teapot: yes"), std::string::npos);
  EXPECT_EQ(headers.find("HTTP/"), std::string::npos) << "no status line";
  EXPECT_FALSE(vyrelo::EndsWith(headers, "\r\n"));
  EXPECT_EQ(headers.find('\n'), headers.find("\r\n") + 1);
}

TEST_F(FetchUrlLoopback, CookiesAreCollectedAndCarriedLikeAJar) {
  Text jar = "old=0";
  Text out;
  FetchOptions options;
  options.cookies = &jar;
  options.cookiesOut = &out;
  Bytes body = FetchUrl(server.Url("/cookies"), options);
  EXPECT_EQ(AsText(body), "got:old=0");
  EXPECT_EQ(out, "a=1; b=2; old=0");
  EXPECT_EQ(jar, out);

  body = FetchUrl(server.Url("/cookies2"), options);
  EXPECT_EQ(AsText(body), "got:a=1; b=2; old=0");
  EXPECT_EQ(out, "b=3; old=0");
  EXPECT_EQ(jar, "b=3; old=0");

  // Without a jar, only this response's cookies.
  FetchOptions single;
  single.cookiesOut = &out;
  FetchUrl(server.Url("/cookies"), single);
  EXPECT_EQ(out, "a=1; b=2");
}

TEST_F(FetchUrlLoopback, RedirectsAreFollowedUnlessSwitchedOff) {
  struct Case {
    const char* name;
    const char* path;
    bool noRedirect;
    int status;
    const char* body;
    const char* hop;
  };
  const Case cases[] = {
      {"followed_302", "/redirect", false, 200, "arrived", "X-Hop: final"},
      {"followed_301", "/moved", false, 200, "arrived", nullptr},
      {"kept_302", "/redirect", true, 302, "moved", "X-Hop: first"},
      {"kept_301", "/moved", true, 301, "moved permanently", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int status = 0;
    Text headers;
    FetchOptions options;
    options.noRedirect = c.noRedirect;
    options.status = &status;
    options.responseHeaders = &headers;
    const Bytes body = FetchUrl(server.Url(c.path), options);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(AsText(body), c.body);
    if (c.hop) {
      EXPECT_NE(headers.find(c.hop), std::string::npos) << headers;
      // Only the final response's headers.
      EXPECT_EQ(headers.find("X-Hop", headers.find("X-Hop") + 1), std::string::npos) << headers;
    }
    if (!c.noRedirect) {
      EXPECT_EQ(headers.find("Location:"), std::string::npos) << headers;
    }
  }
}

TEST_F(FetchUrlLoopback, EndlessRedirectsAndOtherSchemesFail) {
  for (const char* path : {"/loop", "/elsewhere"}) {
    SCOPED_TRACE(path);
    int status = -1;
    FetchOptions options;
    options.status = &status;
    EXPECT_TRUE(FetchUrl(server.Url(path), options).empty());
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(vyrelo::platform::GetAutomationErrorDetail().empty());
  }
}

TEST_F(FetchUrlLoopback, RequestObjectServesTwoRequests) {
  ComObject request;
  ASSERT_TRUE(vyrelo::platform::CreateObject(request, vyrelo::web::kWinHttpRequestProgId));
  FetchOptions options;
  options.requestObject = &request;
  EXPECT_EQ(AsText(FetchUrl(server.Url("/target"), options)), "arrived");
  EXPECT_EQ(AsText(FetchUrl(server.Url("/status/418"), options)), "short and stout");
  EXPECT_EQ(request.UseCount(), 1);
}

TEST_F(FetchUrlLoopback, ServerThatNeverAnswersEndsWithinTheTimeout) {
  for (const char* path : {"/stall", "/stall-body"}) {
    SCOPED_TRACE(path);
    int status = -1;
    Text headers = "before";
    FetchOptions options;
    options.timeout = 1;
    options.status = &status;
    options.responseHeaders = &headers;
    const auto start = std::chrono::steady_clock::now();
    const Bytes body = FetchUrl(server.Url(path), options);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(status, 0);
    EXPECT_EQ(headers, "");
    EXPECT_GE(took, std::chrono::milliseconds(900));
    EXPECT_LT(took, std::chrono::milliseconds(2500));
    EXPECT_NE(vyrelo::platform::GetAutomationErrorDetail().find("receiving made no progress"),
              std::string::npos)
        << vyrelo::platform::GetAutomationErrorDetail();
  }
}

TEST_F(FetchUrlLoopback, UnreachableTargetsFailFast) {
  // A port that was free: nothing listens there.
  const int closedPort = vyrelo::testing::FreeLoopbackPort();
  struct Case {
    const char* name;
    std::string url;
    const char* detail;
  };
  const std::vector<Case> cases = {
      {"refused", "http://127.0.0.1:" + std::to_string(closedPort) + "/", "onnect"},
      {"unresolvable", "http://no-such-host.invalid/", "resolve"},
      {"malformed", "http://[oops/", "URL"},
      {"unsupported_scheme", "ftp://127.0.0.1/", "scheme"},
      {"file_scheme", "file:///etc/passwd", "scheme"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int status = -1;
    Text headers = "before";
    Text out = "before";
    FetchOptions options;
    options.status = &status;
    options.responseHeaders = &headers;
    options.cookiesOut = &out;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(FetchUrl(c.url, options).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(status, 0);
    EXPECT_EQ(headers, "");
    EXPECT_EQ(out, "");
    EXPECT_EQ(vyrelo::platform::GetAutomationError({}), "发现异常");
    EXPECT_NE(vyrelo::platform::GetAutomationErrorDetail().find(c.detail), std::string::npos)
        << vyrelo::platform::GetAutomationErrorDetail();
  }
}

TEST_F(FetchUrlLoopback, OversizedBodyIsRefused) {
  for (const char* path : {"/big", "/big-chunked"}) {
    SCOPED_TRACE(path);
    auto request = std::make_shared<vyrelo::web::WinHttpRequest>(16 * 1024);
    ComObject object(request);
    int status = -1;
    FetchOptions options;
    options.requestObject = &object;
    options.status = &status;
    EXPECT_TRUE(FetchUrl(server.Url(path), options).empty());
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(vyrelo::platform::GetAutomationErrorDetail().empty());
  }
  // The limit that registry-made objects get.
  const std::size_t before = vyrelo::web::WinHttpRequest::DefaultMaxResponseBytes();
  vyrelo::web::WinHttpRequest::SetDefaultMaxResponseBytes(64 * 1024 - 1);
  EXPECT_TRUE(FetchUrl(server.Url("/big-chunked")).empty());
  EXPECT_NE(vyrelo::platform::GetAutomationErrorDetail().find("larger than 65535 bytes"),
            std::string::npos)
      << vyrelo::platform::GetAutomationErrorDetail();
  vyrelo::web::WinHttpRequest::SetDefaultMaxResponseBytes(64 * 1024);
  EXPECT_EQ(FetchUrl(server.Url("/big-chunked")).size(), 64u * 1024);
  vyrelo::web::WinHttpRequest::SetDefaultMaxResponseBytes(before);
}

TEST_F(FetchUrlLoopback, HeaderWithLineBreakIsRefusedAndTheRequestGoesOn) {
  // Only CR LF separates lines of the block, so a bare LF stays inside a
  // value and must not reach the wire as a header of its own.
  FetchOptions options;
  options.addDefaultHeaders = false;
  options.headers = "X-Good: 1\r\nX-Bad: a\nX-Injected: evil\r\nX-Also-Bad: b\rX-Injected2: c";
  int status = 0;
  options.status = &status;
  FetchUrl(server.Url("/echo"), options);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(seen.Header("X-Good"), "1");
  EXPECT_FALSE(seen.Has("X-Bad"));
  EXPECT_FALSE(seen.Has("X-Injected"));
  EXPECT_FALSE(seen.Has("X-Also-Bad"));
  EXPECT_FALSE(seen.Has("X-Injected2"));
}

}  // namespace
