// One FetchUrl POST against a loopback server, beside a bare libcurl POST of
// the same request (same URL, body and headers, a fresh handle each time, as
// FetchUrl makes a fresh request object each call) in the same run.
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <httplib.h>

#include <string>
#include <thread>

#include "platform/automation.h"
#include "web/fetch_url.h"
#include "web/winhttp_request.h"

namespace {

const std::string kBody = "pid=bench&from=zh-CHS&to=en&text=%E4%BD%A0%E5%A5%BD";

class BenchServer {
 public:
  BenchServer() {
    server_.set_tcp_nodelay(true);
    server_.Post("/post", [](const httplib::Request& req, httplib::Response& res) {
      res.set_content("{\"echo\":" + std::to_string(req.body.size()) + "}", "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    for (int i = 0; i < 1000000 && !server_.is_running(); ++i) std::this_thread::yield();
  }
  ~BenchServer() {
    server_.stop();
    thread_.join();
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/post"; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = -1;
};

BenchServer& Server() {
  static BenchServer server;
  return server;
}

void FetchUrlPost(benchmark::State& state) {
  vyrelo::platform::ComScope com;
  vyrelo::web::RegisterWebObjects();
  const std::string url = Server().Url();
  vyrelo::web::FetchOptions options;
  options.method = 1;
  options.body = kBody;
  int status = 0;
  options.status = &status;
  for (auto _ : state) {
    vyrelo::Bytes body = vyrelo::web::FetchUrl(url, options);
    if (status != 200) state.SkipWithError("FetchUrl did not get 200");
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK(FetchUrlPost)->Unit(benchmark::kMicrosecond);

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// What FetchUrl puts on the wire for this call: its five default headers.
void BareCurlPost(benchmark::State& state) {
  const std::string url = Server().Url();
  const std::string referer = "Referer: " + url;
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    curl_slist* headers = nullptr;
    for (const char* line : {"Accept: */*", referer.c_str(), "Accept-Language: zh-cn",
                             "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)",
                             "Content-Type: application/x-www-form-urlencoded", "Expect:"}) {
      headers = curl_slist_append(headers, line);
    }
    std::string body;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, kBody.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(kBody.size()));
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    long status = 0;
    if (curl_easy_perform(curl) != CURLE_OK) state.SkipWithError("curl failed");
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status != 200) state.SkipWithError("curl did not get 200");
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK(BareCurlPost)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
