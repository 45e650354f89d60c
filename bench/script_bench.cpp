// What a fresh script engine per call costs: the Script Control and
// UrlEncode beside bare Duktape doing the same work in the same run.
#include <benchmark/benchmark.h>

#include "duktape.h"
#include "encoding/url_encode.h"
#include "platform/automation.h"
#include "script/script_control.h"
#include "script/script_host.h"

namespace {

using namespace vyrelo;

// "hello world 中文" in the system charset.
const Text kShortText = "hello world \xD6\xD0\xCE\xC4";

// --- Bare Duktape --------------------------------------------------------------------

void BM_BareDuktapeHeapCreateDestroy(benchmark::State& state) {
  for (auto _ : state) {
    duk_context* ctx = duk_create_heap_default();
    benchmark::DoNotOptimize(ctx);
    duk_destroy_heap(ctx);
  }
}
BENCHMARK(BM_BareDuktapeHeapCreateDestroy);

duk_ret_t BareEncode(duk_context* ctx, void*) {
  duk_get_global_string(ctx, "encodeURIComponent");
  duk_push_string(ctx, "hello world \xE4\xB8\xAD\xE6\x96\x87");
  duk_call(ctx, 1);
  return 1;
}

void BM_BareDuktapeEncodeWarm(benchmark::State& state) {
  duk_context* ctx = duk_create_heap_default();
  for (auto _ : state) {
    duk_safe_call(ctx, &BareEncode, nullptr, 0, 1);
    benchmark::DoNotOptimize(duk_get_string(ctx, -1));
    duk_pop(ctx);
  }
  duk_destroy_heap(ctx);
}
BENCHMARK(BM_BareDuktapeEncodeWarm);

void BM_BareDuktapeEncodeFreshHeap(benchmark::State& state) {
  for (auto _ : state) {
    duk_context* ctx = duk_create_heap_default();
    duk_safe_call(ctx, &BareEncode, nullptr, 0, 1);
    benchmark::DoNotOptimize(duk_get_string(ctx, -1));
    duk_destroy_heap(ctx);
  }
}
BENCHMARK(BM_BareDuktapeEncodeFreshHeap);

// --- Through the automation layer ----------------------------------------------------

void BM_ScriptControlCreateDestroy(benchmark::State& state) {
  platform::ComScope com;
  script::RegisterScriptObjects();
  for (auto _ : state) {
    platform::ComObject control;
    platform::CreateObject(control, "ScriptControl");
    benchmark::DoNotOptimize(control.Get());
    platform::ClearObject(control);
  }
}
BENCHMARK(BM_ScriptControlCreateDestroy);

void BM_ScriptHostCreateDestroy(benchmark::State& state) {
  script::RegisterScriptObjects();
  for (auto _ : state) {
    script::ScriptHost host;
    benchmark::DoNotOptimize(&host);
  }
}
BENCHMARK(BM_ScriptHostCreateDestroy);

void BM_UrlEncode(benchmark::State& state) {
  script::RegisterScriptObjects();
  for (auto _ : state) {
    benchmark::DoNotOptimize(encoding::UrlEncode(kShortText, 1));
  }
}
BENCHMARK(BM_UrlEncode);

void BM_ScriptControlEncodeWarm(benchmark::State& state) {
  platform::ComScope com;
  script::RegisterScriptObjects();
  platform::ComObject control;
  platform::CreateObject(control, "ScriptControl");
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        platform::CallTextMethod(control, "Run", {"encodeURIComponent", kShortText}));
  }
}
BENCHMARK(BM_ScriptControlEncodeWarm);

}  // namespace

BENCHMARK_MAIN();
