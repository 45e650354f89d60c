// Reading a translation reply through a JsonDocument beside bare Duktape
// parsing the same text in the same run, and the pieces the document's time
// is made of.
#include <benchmark/benchmark.h>

#include <string>

#include "duktape.h"
#include "json/json_document.h"
#include "json/script_library.h"
#include "platform/automation.h"
#include "platform/codec.h"
#include "script/duk_heap.h"
#include "script/script_control.h"

namespace {

using namespace vyrelo;
using json::JsonDocument;
using json::ScriptErrorInfo;

Text Sys(std::string_view utf8) { return platform::Utf16ToSystemText(platform::Utf8ToUtf16(utf8)); }

// A reply shaped like the service's: status fields, the detected language and
// the translation, with a list of sentence pairs that makes up its size.
std::string ReplyUtf8(std::size_t bytes) {
  const std::string head =
      R"({"status":0,"info":"success","data":{"detect":{"zly":"zh","detect":"zh-CHS",)"
      R"("errorCode":"0","language":"中文"},"translate":{"qc_type":"1","zly":"zh",)"
      R"("errorCode":"0","index":"content0","from":"zh-CHS","source":"",)"
      R"("text":"今天天气很好，我们去公园散步吧。","to":"en",)"
      R"("id":"c2VhcmNoX2Jhc2U2NF9pZF9leGFtcGxl","dit":"The weather is nice today, )"
      R"(let's take a walk in the park.","md5":"","sentences":[)";
  std::string text = head;
  for (int i = 0; text.size() + 200 < bytes || i == 0; ++i) {
    if (i) text += ',';
    text += R"({"src":"第)" + std::to_string(i) + R"(句：今天天气很好，我们去公园散步吧。",)" +
            R"("dst":"Sentence )" + std::to_string(i) +
            R"(: the weather is nice today, let's take a walk.","n":)" + std::to_string(i) + "}";
  }
  text += R"(]},"wordCard":{"value":[]}},"zly":"zh"})";
  return text;
}

const std::string& SmallUtf8() {
  static const std::string text = ReplyUtf8(2048);
  return text;
}
const std::string& LargeUtf8() {
  static const std::string text = ReplyUtf8(1 << 20);
  return text;
}
const Text& SmallReply() {
  static const Text text = Sys(SmallUtf8());
  return text;
}
const Text& LargeReply() {
  static const Text text = Sys(LargeUtf8());
  return text;
}

const Text kPath = "data.translate.dit";

void Setup(const benchmark::State&) { script::RegisterScriptObjects(); }

// The translator's reading of a reply: construct, parse, kind, text.
void ReadReply(benchmark::State& state, const Text& reply) {
  platform::ComScope com;
  for (auto _ : state) {
    JsonDocument doc;
    ScriptErrorInfo error;
    if (!doc.Parse(reply, false, error, false)) {
      state.SkipWithError("the reply did not parse");
      break;
    }
    benchmark::DoNotOptimize(doc.GetKind(kPath));
    benchmark::DoNotOptimize(doc.GetText(kPath, false));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * reply.size()));
}

void BM_DocumentReadReply2KB(benchmark::State& state) { ReadReply(state, SmallReply()); }
BENCHMARK(BM_DocumentReadReply2KB)->Setup(Setup)->Unit(benchmark::kMicrosecond);

void BM_DocumentReadReply1MB(benchmark::State& state) { ReadReply(state, LargeReply()); }
BENCHMARK(BM_DocumentReadReply1MB)->Setup(Setup)->Unit(benchmark::kMillisecond);

void BM_DocumentConstruct(benchmark::State& state) {
  platform::ComScope com;
  for (auto _ : state) {
    JsonDocument doc;
    benchmark::DoNotOptimize(&doc);
  }
}
BENCHMARK(BM_DocumentConstruct)->Setup(Setup)->Unit(benchmark::kMicrosecond);

// Parse alone (its fresh engine included), kind and text excluded.
void BM_DocumentParse1MB(benchmark::State& state) {
  platform::ComScope com;
  JsonDocument doc;
  for (auto _ : state) {
    ScriptErrorInfo error;
    benchmark::DoNotOptimize(doc.Parse(LargeReply(), false, error, false));
  }
}
BENCHMARK(BM_DocumentParse1MB)->Setup(Setup)->Unit(benchmark::kMillisecond);

// --- Bare Duktape, the baseline ------------------------------------------------------

duk_ret_t BareJsonParse(duk_context* ctx, void* udata) {
  const auto* text = static_cast<const std::string*>(udata);
  duk_push_lstring(ctx, text->data(), text->size());
  duk_json_decode(ctx, -1);
  return 1;
}

void BareParse(benchmark::State& state, const std::string& utf8) {
  duk_context* ctx = duk_create_heap_default();
  for (auto _ : state) {
    duk_safe_call(ctx, &BareJsonParse, const_cast<std::string*>(&utf8), 0, 1);
    benchmark::DoNotOptimize(duk_is_object(ctx, -1));
    duk_pop(ctx);
  }
  duk_destroy_heap(ctx);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * utf8.size()));
}

void BM_BareDuktapeJsonParse2KB(benchmark::State& state) { BareParse(state, SmallUtf8()); }
BENCHMARK(BM_BareDuktapeJsonParse2KB)->Unit(benchmark::kMicrosecond);

void BM_BareDuktapeJsonParse1MB(benchmark::State& state) { BareParse(state, LargeUtf8()); }
BENCHMARK(BM_BareDuktapeJsonParse1MB)->Unit(benchmark::kMillisecond);

// The document's way in bare Duktape: the text compiled as script source.
duk_ret_t BareEvalSource(duk_context* ctx, void* udata) {
  const auto* source = static_cast<const std::string*>(udata);
  duk_compile_lstring(ctx, 0, source->data(), source->size());
  duk_call(ctx, 0);
  return 1;
}

void BM_BareDuktapeCompileAsScript1MB(benchmark::State& state) {
  const std::string source = "var da = eval(" + LargeUtf8() + ")";
  duk_context* ctx = duk_create_heap_default();
  for (auto _ : state) {
    duk_safe_call(ctx, &BareEvalSource, const_cast<std::string*>(&source), 0, 1);
    duk_pop(ctx);
  }
  duk_destroy_heap(ctx);
}
BENCHMARK(BM_BareDuktapeCompileAsScript1MB)->Unit(benchmark::kMillisecond);

// --- Where the document's time goes ---------------------------------------------------

// The same compile on the Script Control's own kind of heap (capped
// allocator, deadline), without the automation layer and its conversions.
duk_ret_t HeapEvalSource(duk_context* ctx, void* udata) {
  BareEvalSource(ctx, udata);
  duk_pop(ctx);
  return 0;
}

void BM_Piece_BoundedHeapCompileAsScript1MB(benchmark::State& state) {
  const std::string source = "var da = eval(" + LargeUtf8() + ")";
  script::detail::DukHeap heap(script::kDefaultMemoryBytes);
  heap.Ensure();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        heap.Call(&HeapEvalSource, const_cast<std::string*>(&source), script::kDefaultTimeoutMs)
            .completed);
  }
}
BENCHMARK(BM_Piece_BoundedHeapCompileAsScript1MB)->Unit(benchmark::kMillisecond);

void BM_Piece_SystemTextToUtf16_1MB(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(platform::SystemTextToUtf16(LargeReply()));
}
BENCHMARK(BM_Piece_SystemTextToUtf16_1MB)->Unit(benchmark::kMillisecond);

void BM_Piece_Utf16ToCesu8_1MB(benchmark::State& state) {
  const std::u16string units = platform::SystemTextToUtf16(LargeReply());
  for (auto _ : state) benchmark::DoNotOptimize(script::detail::Utf16ToCesu8(units));
}
BENCHMARK(BM_Piece_Utf16ToCesu8_1MB)->Unit(benchmark::kMillisecond);

// One Eval through the automation layer on an engine holding the 1 MB value:
// the per-operation cost that GetKind and GetText pay several times.
void BM_Piece_ReadAfterParse1MB(benchmark::State& state) {
  platform::ComScope com;
  JsonDocument doc;
  ScriptErrorInfo error;
  doc.Parse(LargeReply(), false, error, false);
  for (auto _ : state) {
    benchmark::DoNotOptimize(doc.GetKind(kPath));
    benchmark::DoNotOptimize(doc.GetText(kPath, false));
  }
}
BENCHMARK(BM_Piece_ReadAfterParse1MB)->Setup(Setup)->Unit(benchmark::kMicrosecond);

// The pieces of one engine's making: the Script Control instance, the
// library, the prologue.
void BM_Piece_EngineCreate(benchmark::State& state) {
  platform::ComScope com;
  for (auto _ : state) {
    platform::ComObject engine;
    platform::CreateObject(engine, json::kJsonEngineProgId);
    benchmark::DoNotOptimize(engine.Get());
  }
}
BENCHMARK(BM_Piece_EngineCreate)->Setup(Setup)->Unit(benchmark::kMicrosecond);

void BM_Piece_EngineCreateAndLoadLibrary(benchmark::State& state) {
  platform::ComScope com;
  for (auto _ : state) {
    platform::ComObject engine;
    platform::CreateObject(engine, json::kJsonEngineProgId);
    platform::SetProperty(engine, "Language", {"JavaScript"});
    platform::CallBoolMethod(engine, "AddCode", {json::kScriptLibrary});
    benchmark::DoNotOptimize(engine.Get());
  }
}
BENCHMARK(BM_Piece_EngineCreateAndLoadLibrary)->Setup(Setup)->Unit(benchmark::kMicrosecond);

// The same JSON.parse as the baseline, through the Script Control: the cost
// of the automation layer, the conversions and the bounded heap alone.
void BM_Piece_ScriptControlJsonParse1MB(benchmark::State& state) {
  platform::ComScope com;
  JsonDocument doc;
  const platform::ComObject engine = doc.GetEngine();
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        platform::CallBoolMethod(engine, "Run", {"set__json", "da", LargeReply()}));
  }
}
BENCHMARK(BM_Piece_ScriptControlJsonParse1MB)->Setup(Setup)->Unit(benchmark::kMillisecond);

// The document's load through the Script Control on a warm engine: the
// compile of "var da = eval(text)" with everything around it.
void BM_Piece_ScriptControlAddCode1MB(benchmark::State& state) {
  platform::ComScope com;
  JsonDocument doc;
  const platform::ComObject engine = doc.GetEngine();
  const Text code = "var da = eval(" + LargeReply() + ")";
  for (auto _ : state) {
    benchmark::DoNotOptimize(platform::CallBoolMethod(engine, "AddCode", {code}));
  }
}
BENCHMARK(BM_Piece_ScriptControlAddCode1MB)->Setup(Setup)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
