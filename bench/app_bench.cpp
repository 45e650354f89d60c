// The whole translation round trip against a loopback stand-in, beside a bare
// libcurl POST of the same request in the same run.
//
//   app_bench [benchmark flags]   RoundTrip and BareCurlPost
//   app_bench --memory            resident memory after 10 and 1,000 round trips
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "app/process_info.h"
#include "app/round_trip.h"
#include "app/settings.h"
#include "standin_server.h"

namespace {

vyrelo::standin::StandinServer& Server() {
  static vyrelo::standin::StandinServer server;
  static const int port = server.Start();
  (void)port;
  return server;
}

vyrelo::app::ServiceSettings Settings() {
  vyrelo::app::ServiceSettings settings;
  settings.host = Server().HostAndPort();
  return settings;
}

std::string TranslateOnce(const vyrelo::app::ServiceSettings& settings) {
  const vyrelo::Text reply = vyrelo::app::RequestTranslation("zh-CHS", "en", "hello", settings);
  return vyrelo::app::PickJsonField(reply, "data.translate.dit");
}

void RoundTrip(benchmark::State& state) {
  const auto settings = Settings();
  for (auto _ : state) {
    std::string result = TranslateOnce(settings);
    if (result != "[en] hello") state.SkipWithError(("unexpected result: " + result).c_str());
    benchmark::DoNotOptimize(result);
  }
}
BENCHMARK(RoundTrip)->Unit(benchmark::kMicrosecond);

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

// The same request (URL, body, the eight headers) with a fresh handle each
// time, as the round trip makes a fresh request object each time.
void BareCurlPost(benchmark::State& state) {
  const auto settings = Settings();
  const std::string url = vyrelo::app::ServiceUrl(settings);
  const std::string body = "pid=sogou-dict-fanyi-search-engine&from=zh-CHS&to=en&text=hello";
  const std::string headers[] = {
      "Host: " + settings.host,
      "Accept: application/json, text/javascript",
      "Origin: " + settings.origin,
      "X-Requested-With: XMLHttpRequest",
      "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
      "Chrome/72.0.3626.81 Safari/537.36 SE 2.X MetaSr 1.0",
      "Accept-Language: zh-CN,zh;q=0.9",
      "Referer: " + url,
      "Content-Type: application/x-www-form-urlencoded",
  };
  for (auto _ : state) {
    CURL* curl = curl_easy_init();
    curl_slist* list = nullptr;
    for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
    std::string reply;
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 15000L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    CURLcode code = curl_easy_perform(curl);
    curl_slist_free_all(list);
    curl_easy_cleanup(curl);
    if (code != CURLE_OK || reply.find("[en] hello") == std::string::npos) {
      state.SkipWithError("bare POST failed");
    }
    benchmark::DoNotOptimize(reply);
  }
}
BENCHMARK(BareCurlPost)->Unit(benchmark::kMicrosecond);

int MeasureMemory() {
  const auto settings = Settings();
  int failures = 0;
  for (int i = 0; i < 10; ++i) failures += TranslateOnce(settings) != "[en] hello";
  const long after10 = vyrelo::app::ResidentKilobytes();
  for (int i = 10; i < 1000; ++i) failures += TranslateOnce(settings) != "[en] hello";
  const long after1000 = vyrelo::app::ResidentKilobytes();
  std::printf("rss_kb_after_10 %ld\nrss_kb_after_1000 %ld\ngrowth_kb %ld\nfailures %d\n", after10,
              after1000, after1000 - after10, failures);
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
  vyrelo::app::RegisterSystemObjects();
  int code = 0;
  if (argc > 1 && std::strcmp(argv[1], "--memory") == 0) {
    code = MeasureMemory();
  } else {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  Server().Stop();
  curl_global_cleanup();
  return code;
}
